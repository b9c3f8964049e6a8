import QtQuick 2.5
import QtTest 1.1

TestCase {
    id: testCase
    name: "Window"
    when: windowShown

    property Component mainComponent: Qt.createComponent("qrc:/qml/Main.qml")

    function createWindow() {
        var window = createTemporaryObject(mainComponent, testCase)
        verify(window, mainComponent.errorString())
        return window
    }

    function stackOf(window) {
        return findChild(window.contentItem, "stackView")
    }

    function init() {
        core.reset()
    }

    function test_opensAtItsMinimumSizeReadOnce() {
        core.minimumHeight = 555
        var window = createWindow()
        compare(window.minimumWidth, 700)
        compare(window.minimumHeight, 555)
        compare(window.width, 700)
        compare(window.height, 555)
        // Each read measures anew and registers the font once more.
        compare(core.minimumHeightReads, 1)
        compare(window.title, "Test Updater")
    }

    function test_missingTranslationShowsItsId() {
        var window = createWindow()
        var stack = stackOf(window)
        findChild(stack.currentItem, "nextButton").clicked()
        tryCompare(stack, "busy", false)
        compare(findChild(stack.currentItem, "description").text, "id-page2-description")
    }

    function test_footerLines_data() {
        var one = "Updater 1.2.24"
        var three = "Previous %1<br>New 1.0.0.2<br>Updater 1.2.24"
        return [
            { tag: "Page 1", steps: [], page: "page1", text: one },
            { tag: "Page 2", steps: ["next"], page: "page2", text: one },
            { tag: "Page 3", steps: ["next", "next"], page: "page3", text: one },
            { tag: "Page 4", steps: ["next", "next", "found", "checked"], page: "page4",
              text: three.replace("%1", "1.0.0.1") },
            { tag: "Page 5 after success", steps: ["next", "next", "found", "checked", "updated"],
              page: "page5", text: three.replace("%1", "1.0.0.1") },
            { tag: "Page 5 straight from Page 3", steps: ["next", "next", "notFound"],
              page: "page5", text: three.replace("%1", "0.0.0.0") },
        ]
    }

    function test_footerLines(data) {
        core.checkResult = 1
        var window = createWindow()
        var stack = stackOf(window)
        for (var i = 0; i < data.steps.length; ++i) {
            var step = data.steps[i]
            if (step === "next") {
                tryCompare(stack, "busy", false)
                mouseClick(findChild(stack.currentItem, "nextButton"))
            } else if (step === "found") {
                core.deviceFound(true)
            } else if (step === "checked") {
                // checkFirmware already succeeded inside deviceFound; nothing more to emit.
            } else if (step === "updated") {
                core.firmwareUpdated(true)
            } else if (step === "notFound") {
                core.deviceFound(false)
                core.setErrorCodeValue(1)
            }
        }
        compare(stack.currentItem.objectName, data.page)
        compare(findChild(window.contentItem, "appVersionBlock").text, data.text)
    }

    function test_footerFollowsCore() {
        core.findResult = 1
        core.checkResult = 1
        var window = createWindow()
        var stack = stackOf(window)
        var footer = findChild(window.contentItem, "appVersionBlock")
        compare(footer.text.split("<br>").length, 1)
        findChild(stack.currentItem, "nextButton").clicked()
        findChild(stack.currentItem, "nextButton").clicked()
        compare(stack.currentItem.objectName, "page4")
        core.previousFirmwareVersion = "0.9.0.0"
        compare(footer.text, "Previous 0.9.0.0<br>New 1.0.0.2<br>Updater 1.2.24")
    }

    function test_mainButtonTakesTheFocus_data() {
        return [
            { tag: "Page 1", clicks: 0, button: "nextButton" },
            { tag: "Page 2", clicks: 1, button: "nextButton" },
            { tag: "fresh Page 1 after Back", clicks: 1, back: true, button: "nextButton" },
        ]
    }

    function test_mainButtonTakesTheFocus(data) {
        var window = createWindow()
        var stack = stackOf(window)
        for (var i = 0; i < data.clicks; ++i)
            findChild(stack.currentItem, "nextButton").clicked()
        if (data.back)
            findChild(stack.currentItem, "backButton").clicked()
        verify(findChild(stack.currentItem, data.button).activeFocus)
    }

    function test_quitTakesTheFocusOnPage5() {
        var window = createWindow()
        core.setErrorCodeValue(3)
        var stack = stackOf(window)
        compare(stack.currentItem.objectName, "page5")
        verify(findChild(stack.currentItem, "quitButton").activeFocus)
    }

    function test_accessibleNamesWithoutMarkup() {
        var window = createWindow()
        var page = stackOf(window).currentItem
        compare(findChild(page, "description").Accessible.name, "Turn Vault off.\nSave your files.")
        compare(findChild(page, "title").Accessible.name, "Power off Vault")
        compare(findChild(page, "nextButton").Accessible.name, "Next")
        core.setErrorCodeValue(4)
        var footer = findChild(window.contentItem, "appVersionBlock")
        compare(footer.Accessible.name, "Previous 0.0.0.0\nNew 1.0.0.2\nUpdater 1.2.24")
    }
}
