import QtQuick 2.5
import QtTest 1.1

TestCase {
    id: testCase
    name: "Flow"
    when: windowShown

    property Component mainComponent: Qt.createComponent("qrc:/qml/Main.qml")
    property var window: null
    property var stack: null

    function init() {
        core.reset()
    }

    function open() {
        window = createTemporaryObject(mainComponent, testCase)
        verify(window, mainComponent.errorString())
        stack = findChild(window.contentItem, "stackView")
    }

    function click(name) {
        var button = findChild(stack.currentItem, name)
        verify(button, name)
        tryCompare(stack, "busy", false)
        mouseClick(button)
    }

    function pages() {
        var names = []
        for (var i = 0; i < stack.depth; ++i)
            names.push(stack.get(i, true).objectName)
        return names.join(" ")
    }

    function test_backPushesFreshPages() {
        open()
        var first = stack.currentItem
        click("nextButton")
        click("backButton")
        compare(pages(), "page1 page2 page1")
        verify(stack.get(2, true) !== first)
        var second = stack.get(1, true)
        click("nextButton")
        compare(pages(), "page1 page2 page1 page2")
        verify(stack.get(3, true) !== second)
        compare(core.calls.length, 0)
    }

    function test_searchHandlersAroundTheirCalls() {
        open()
        click("nextButton")
        click("nextButton")
        compare(stack.currentItem.objectName, "page3")
        compare(core.calls, ["findDevice connected 0"])

        core.deviceFound(true)
        compare(core.calls, ["findDevice connected 0", "checkFirmware connected 0"])
        verify(!core.isConnected("deviceFound"))
        // A second report on the same entry into Page 3 is not handled again.
        core.deviceFound(true)
        compare(core.calls.length, 2)

        core.firmwareChecked(true)
        compare(stack.currentItem.objectName, "page4")
        verify(!core.isConnected("firmwareChecked"))
        compare(core.calls[2], "updateFirmware connected 0")

        core.firmwareUpdated(true)
        verify(!core.isConnected("firmwareUpdated"))
        compare(pages(), "page1 page2 page3 page4 page5")
        compare(findChild(stack.currentItem, "title").text, "Updated.")
    }

    // A false result only disconnects; the error code that follows moves the wizard.
    function test_falseResultAloneMovesNothing_data() {
        return [
            { tag: "not found", signalName: "deviceFound", code: 1, steps: [] },
            { tag: "check failed", signalName: "firmwareChecked", code: 2, steps: ["found"] },
            { tag: "write failed", signalName: "firmwareUpdated", code: 5,
              steps: ["found", "checked"] },
        ]
    }

    function test_falseResultAloneMovesNothing(data) {
        open()
        click("nextButton")
        click("nextButton")
        for (var i = 0; i < data.steps.length; ++i) {
            if (data.steps[i] === "found")
                core.deviceFound(true)
            else
                core.firmwareChecked(true)
        }
        var shown = stack.currentItem
        core[data.signalName](false)
        verify(!core.isConnected(data.signalName))
        compare(stack.currentItem, shown)
        core.setErrorCodeValue(data.code)
        compare(stack.currentItem.objectName, "page5")
    }

    function test_stepsNestInsideTheSearchReport() {
        core.findResult = 1
        core.checkResult = 1
        core.updateResult = 1
        open()
        click("nextButton")
        click("nextButton")
        // The check runs inside deviceFound, the write inside firmwareChecked.
        compare(core.calls, ["findDevice connected 0", "checkFirmware connected 1",
                             "updateFirmware connected 2"])
        compare(pages(), "page1 page2 page3 page4 page5")
        verify(!core.isConnected("deviceFound"))
        verify(!core.isConnected("firmwareChecked"))
        verify(!core.isConnected("firmwareUpdated"))
    }

    function test_failureInsideAStepGoesToPage5Once_data() {
        return [
            { tag: "not found", find: 0, check: -1, update: -1, code: 1 },
            { tag: "other hardware", find: 1, check: 0, checkFail: 3, update: -1, code: 3 },
            { tag: "up to date", find: 1, check: 0, checkFail: 4, update: -1, code: 4 },
            { tag: "write failed", find: 1, check: 1, update: 0, code: 5 },
        ]
    }

    function test_failureInsideAStepGoesToPage5Once(data) {
        core.findResult = data.find
        core.checkResult = data.check
        core.updateResult = data.update
        if (data.checkFail)
            core.checkFailCode = data.checkFail
        open()
        click("nextButton")
        click("nextButton")
        compare(stack.currentItem.objectName, "page5")
        compare(core.errorCode, data.code)
        // A later code pushes nothing more.
        var depth = stack.depth
        core.setErrorCodeValue(2)
        compare(stack.depth, depth)
    }

    function test_progressBar_data() {
        return [
            { tag: "37", progress: [37], value: 37 },
            { tag: "rising", progress: [2, 4, 6], value: 6 },
            { tag: "above 100 shows full", progress: [150], value: 100 },
        ]
    }

    function test_progressBar(data) {
        core.findResult = 1
        core.checkResult = 1
        open()
        click("nextButton")
        click("nextButton")
        compare(stack.currentItem.objectName, "page4")
        var bar = findChild(stack.currentItem, "progressBar")
        compare(bar.value, 0)
        compare(bar.minimumValue, 0)
        compare(bar.maximumValue, 100)
        for (var i = 0; i < data.progress.length; ++i)
            core.progressChanged(data.progress[i])
        compare(bar.value, data.value)
    }

    function test_noErrorReportMovesNothing() {
        open()
        core.errorCodeChanged(0)
        compare(pages(), "page1")
        click("nextButton")
        core.errorCodeChanged(0)
        compare(pages(), "page1 page2")
    }
}
