import QtQuick 2.5
import QtTest 1.1
import TarselUpdater 1.0

TestCase {
    id: testCase
    name: "ResultPage"
    when: windowShown

    property Component mainComponent: Qt.createComponent("qrc:/qml/Main.qml")

    function init() {
        core.reset()
    }

    function resultPage(code) {
        var window = createTemporaryObject(mainComponent, testCase)
        verify(window, mainComponent.errorString())
        core.setErrorCodeValue(code)
        var stack = findChild(window.contentItem, "stackView")
        compare(stack.currentItem.objectName, "page5")
        return stack.currentItem
    }

    function test_showsOutcome_data() {
        var failure = "image://data/page5/big_failure.png"
        var failed = "Failed for Vault."
        return [
            { tag: "FindDeviceError", code: ErrorCode.FindDeviceError, image: failure,
              title: failed, description: "Cannot find Vault." },
            { tag: "CheckFirmwareError", code: ErrorCode.CheckFirmwareError, image: failure,
              title: failed, description: "id-page5-check-firmware-error" },
            { tag: "FirmwareBad_HWError", code: ErrorCode.FirmwareBad_HWError, image: failure,
              title: failed, description: "Other hardware." },
            { tag: "FirmwareSame_FWError", code: ErrorCode.FirmwareSame_FWError,
              image: "image://data/page5/big_up2date.png", title: "Up to date.",
              description: "Vault is up to date." },
            { tag: "UpdateFirmwareError", code: ErrorCode.UpdateFirmwareError, image: failure,
              title: failed, description: "Cannot write." },
            { tag: "unknown code", code: 42, image: failure, title: failed, description: "",
              warning: "Unknown error code: 42" },
        ]
    }

    function test_showsOutcome(data) {
        if (data.warning)
            ignoreWarning(data.warning)
        var page = resultPage(data.code)
        compare(page.generalView, data.image)
        compare(findChild(page, "generalImage").source.toString(), data.image)
        compare(findChild(page, "title").text, data.title)
        compare(findChild(page, "description").text, data.description)
        compare(findChild(page, "quitButton").text, "Quit")
    }

    function test_successNamesTheDeviceTwice() {
        core.findResult = 1
        core.checkResult = 1
        core.updateResult = 1
        core.name = "Vault 4"
        var window = createTemporaryObject(mainComponent, testCase)
        var stack = findChild(window.contentItem, "stackView")
        findChild(stack.currentItem, "nextButton").clicked()
        findChild(stack.currentItem, "nextButton").clicked()
        var page = stack.currentItem
        compare(page.objectName, "page5")
        compare(page.generalView, page.generalViewSuccess)
        compare(findChild(page, "title").text, "Updated.")
        compare(findChild(page, "description").text,
                "Installed. Power Vault 4 off, then power Vault 4 on.")
    }

    // The description is set once; image and title are bindings on the code.
    function test_laterCodeChangesImageAndTitleOnly() {
        var page = resultPage(ErrorCode.FirmwareSame_FWError)
        core.setErrorCodeValue(ErrorCode.UpdateFirmwareError)
        compare(page.generalView, page.generalViewFailure)
        compare(findChild(page, "title").text, "Failed for Vault.")
        compare(findChild(page, "description").text, "Vault is up to date.")
    }
}
