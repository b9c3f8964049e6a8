import QtQuick 2.5
import QtQuick.Controls 1.0
import QtQml 2.12
import TarselUpdater 1.0
import "Styles"

ApplicationWindow {
    id: window

    readonly property int appVersionBlockHeight: appVersionBlock.implicitHeight
    // Set once a close was refused while the firmware is written; Page 4 says why.
    property bool closeRefused: false

    // Every "%1" alike; a text without the marker (an id shown for a missing translation)
    // passes unchanged, and the value is never read as a pattern.
    function substitute(text, value) {
        return text.split("%1").join(value)
    }

    // What assistive technology reads for a label that may hold markup.
    function plainText(text) {
        return text.replace(/<br>/g, "\n").replace(/<[^>]*>/g, "")
    }

    // The main buttons also answer Return and Enter, but never a held key: one long press on
    // Page 1 must not go through Page 2 and start the search before the cable is in. The
    // window's key filter drops the repeats that X11 sends as plain key strokes (qmlengine.cpp).
    function clickFromKeyboard(button, event) {
        event.accepted = true
        if (!event.isAutoRepeat)
            button.clicked()
    }

    function showPage(index) {
        var component = Qt.createComponent(navigator.componentName(index))
        if (component.status !== Component.Ready) {
            console.warn("Can not create component")
            return
        }
        stackView.push(component)
        settling.from(Date.now())
        console.debug(uiLog, "shown", navigator.componentName(index), "errorCode", core.errorCode)

        switch (index) {
        case Page.Page1:
        case Page.Page2:
        case Page.Page5:
            break
        case Page.Page3:
            startSearch()
            break
        case Page.Page4:
            startUpdate()
            break
        default:
            console.warn("Unknown page index")
        }
    }

    // Each handler is connected before the call that can emit its signal and fires once per
    // entry; a false result moves nothing, the error code that follows does.
    function startSearch() {
        var onFirmwareChecked = function (ok) {
            if (ok)
                navigator.next()
            core.firmwareChecked.disconnect(onFirmwareChecked)
        }
        var onDeviceFound = function (ok) {
            if (ok) {
                core.firmwareChecked.connect(onFirmwareChecked)
                core.checkFirmware()
            }
            core.deviceFound.disconnect(onDeviceFound)
        }
        core.deviceFound.connect(onDeviceFound)
        core.findDevice()
    }

    function startUpdate() {
        var onFirmwareUpdated = function (ok) {
            if (ok)
                navigator.next()
            core.firmwareUpdated.disconnect(onFirmwareUpdated)
        }
        core.firmwareUpdated.connect(onFirmwareUpdated)
        core.updateFirmware()
    }

    // A window closed in the middle of the file work would end the program before the result;
    // the work is not cut short, so the window stays until it has ended.
    onClosing: {
        if (core.writing) {
            close.accepted = false
            closeRefused = true
            console.debug(uiLog, "close refused")
        }
    }

    // The size the pages are laid out for. Read once: the height is measured anew on every read.
    readonly property int designWidth: core.windowMinimumWidth
    readonly property int designHeight: core.windowMinimumHeight

    visible: true
    // Lowered where the screen's available area is smaller (windowfit.cpp); the content then
    // scales down to the window.
    minimumWidth: designWidth
    minimumHeight: designHeight
    width: designWidth
    height: designHeight
    title: qsTrId("id-application-title")

    // Silent unless enabled ("tarsel.ui.debug=true"); end-to-end tests follow the pages with it.
    LoggingCategory {
        id: uiLog
        name: "tarsel.ui"
        defaultLogLevel: LoggingCategory.Warning
    }

    PageNavigator {
        id: navigator
        onCurrentIndexChanged: window.showPage(currentIndex)
    }

    Connections {
        target: core
        function onErrorCodeChanged(errorCode) {
            if (errorCode !== ErrorCode.NoError)
                navigator.goTo(Page.Page5)
        }
    }

    // The pages and the footer as laid out for the design size, scaled to a smaller window so
    // that title, buttons and progress stay on the screen; at the design size and above, as is.
    Item {
        id: content
        objectName: "content"

        readonly property real fit: Math.min(1, window.width / window.designWidth,
                                             window.height / window.designHeight)

        width: window.width / fit
        height: window.height / fit
        scale: fit
        transformOrigin: Item.TopLeft
        // Drawn at the design size and scaled as one picture: the buttons' natively rendered
        // labels lose strokes when each glyph is scaled on its own.
        layer.enabled: fit < 1
        layer.smooth: true

        StackView {
            id: stackView
            objectName: "stackView"
            anchors.fill: parent
            // Input reaches a page only once it has settled: not while it slides in under the
            // pointer, and not within a double click of the click that brought it.
            enabled: !busy && !settling.pending
            // Created here so that the page sees this document's names, like the pages pushed
            // later.
            initialItem: Qt.createComponent("Page1.qml")
            Component.onCompleted: {
                console.debug(uiLog, "shown", "Page1.qml", "errorCode", core.errorCode)
                // The first page settles too, by when a screen reader's bridge is connected.
                settling.from(Date.now())
            }
            onEnabledChanged: {
                if (!enabled)
                    return
                console.debug(uiLog, "settled", navigator.componentName(navigator.currentIndex))
                // Away and back: a screen reader reads the page with what takes the focus.
                content.forceActiveFocus()
                currentItem.takeFocus()
            }
        }

        // By the wall clock: Timer runs on Qt Quick's animation clock, which can run fast.
        Timer {
            id: settling

            property bool pending: false
            property double end: 0

            function from(now) {
                end = now + Qt.styleHints.mouseDoubleClickInterval
                pending = true
                interval = Qt.styleHints.mouseDoubleClickInterval
                restart()
            }

            onTriggered: {
                interval = Math.max(1, end - Date.now())
                if (end > Date.now())
                    restart()
                else
                    pending = false
            }
        }

        Text {
            id: appVersionBlock
            objectName: "appVersionBlock"

            readonly property string updaterLine: substitute(qsTrId("id-footer-updater-version"),
                                                             core.updaterVersion)

            anchors.left: parent.left
            anchors.leftMargin: 20
            anchors.bottom: parent.bottom
            anchors.bottomMargin: 20
            font.family: TarselFont.latoRegular
            font.pointSize: TarselFont.pt10
            text: navigator.currentIndex <= Page.Page3
                  ? updaterLine
                  : substitute(qsTrId("id-footer-previousFW-version"), core.previousFirmwareVersion)
                    + "<br>" + substitute(qsTrId("id-footer-newFW-version"), core.newFirmwareVersion)
                    + "<br>" + updaterLine
            Accessible.role: Accessible.StaticText
            Accessible.name: plainText(text)
        }
    }
}
