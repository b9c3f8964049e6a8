import QtQuick 2.5
import QtQuick.Controls 1.0
import QtQuick.Layouts 1.0
import TarselUpdater 1.0
import "Styles"

Rectangle {
    id: page
    objectName: "page5"

    readonly property int margin: 25
    readonly property string generalViewSuccess: "image://data/page5/big_success.png"
    readonly property string generalViewFailure: "image://data/page5/big_failure.png"
    readonly property string generalViewUpToDate: "image://data/page5/big_up2date.png"
    property string generalView: {
        switch (core.errorCode) {
        case ErrorCode.NoError:
            return generalViewSuccess
        case ErrorCode.FirmwareSame_FWError:
            return generalViewUpToDate
        default:
            return generalViewFailure
        }
    }

    function quitButtonClicked() {
        Qt.quit()
    }

    function titleText(errorCode) {
        switch (errorCode) {
        case ErrorCode.NoError:
            return qsTrId("id-page5-title-successful")
        case ErrorCode.FirmwareSame_FWError:
            return qsTrId("id-page5-title-uptodate")
        default:
            return substitute(qsTrId("id-page5-title-failed"), core.deviceName())
        }
    }

    function descriptionText(errorCode) {
        switch (errorCode) {
        case ErrorCode.NoError:
            return substitute(qsTrId("id-page5-noerror"), core.deviceName())
        case ErrorCode.FindDeviceError:
            return substitute(qsTrId("id-page5-find-device-error"), core.deviceName())
        case ErrorCode.CheckFirmwareError:
            return qsTrId("id-page5-check-firmware-error")
        case ErrorCode.FirmwareBad_HWError:
            return qsTrId("id-page5-bad-hw-error")
        case ErrorCode.FirmwareSame_FWError:
            return substitute(qsTrId("id-page5-same-fw-error"), core.deviceName())
        case ErrorCode.UpdateFirmwareError:
            // What the user must know before powering the product off: it has no firmware now.
            return qsTrId("id-page5-update-firmware-error") + (core.firmwareGone
                   ? "<br><br>" + substitute(qsTrId("id-page5-firmware-gone"), core.deviceName())
                   : "")
        case ErrorCode.UpdateRunningError:
            return substitute(qsTrId("id-page5-update-running-error"), core.deviceName())
        default:
            console.warn("Unknown error code:", errorCode)
            return ""
        }
    }

    color: "#ededed"

    // The description keeps the first outcome; image and title follow later codes.
    Component.onCompleted: {
        description.text = descriptionText(core.errorCode)
        takeFocus()
    }

    // Also as the page settles (Main.qml), for a screen reader to read it then.
    function takeFocus() {
        quitButton.forceActiveFocus()
    }

    RowLayout {
        anchors.fill: parent
        spacing: 25

        Item {
            id: imageCell
            objectName: "imageCell"
            Layout.preferredWidth: generalImage.width + page.margin
            Layout.preferredHeight: generalImage.height + page.margin
            Layout.alignment: Qt.AlignLeft | Qt.AlignVCenter

            Image {
                id: generalImage
                objectName: "generalImage"
                anchors.centerIn: parent
                source: page.generalView
                fillMode: Image.PreserveAspectFit
                Accessible.role: Accessible.Graphic
                Accessible.name: {
                    switch (page.generalView) {
                    case page.generalViewSuccess:
                        return qsTrId("id-page5-image-success")
                    case page.generalViewUpToDate:
                        return qsTrId("id-page5-image-uptodate")
                    default:
                        return qsTrId("id-page5-image-failure")
                    }
                }
            }
        }

        Item {
            id: detailCell
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.alignment: Qt.AlignRight | Qt.AlignVCenter

            Text {
                id: title
                objectName: "title"
                anchors.top: parent.top
                anchors.topMargin: 30
                anchors.left: parent.left
                width: parent.width - page.margin
                color: "#000000"
                font.bold: true
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt14
                wrapMode: Text.WordWrap
                text: titleText(core.errorCode)
                Accessible.role: Accessible.StaticText
                Accessible.name: plainText(text)
            }

            Text {
                id: description
                objectName: "description"
                anchors.top: title.bottom
                anchors.topMargin: page.margin
                anchors.left: parent.left
                width: parent.width - page.margin
                height: 160
                color: "#000000"
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt12
                wrapMode: Text.WordWrap
                verticalAlignment: Text.AlignTop
                lineHeightMode: Text.ProportionalHeight
                lineHeight: 1.2
                text: ""
                Accessible.role: Accessible.StaticText
                Accessible.name: plainText(text)
            }

            // A failure's detail line, below the fixed texts, and a way to hand it to support.
            Item {
                id: detailsBlock
                objectName: "detailsBlock"
                readonly property string details: core.errorDetails || ""
                // Right under the description's text, within the room the description keeps.
                anchors.top: description.top
                anchors.topMargin: Math.min(description.contentHeight, description.height)
                                   + page.margin
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                visible: details !== ""
                Component.onCompleted: if (details !== "") console.debug(uiLog, "details", details)

                Text {
                    id: detailsText
                    objectName: "details"
                    anchors.top: parent.top
                    anchors.left: parent.left
                    width: parent.width - page.margin
                    color: "#444444"
                    font.family: TarselFont.latoRegular
                    font.pointSize: TarselFont.pt10
                    // Whole, however long: a path without blanks breaks anywhere.
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                    // An option such as --recover is not broken across lines (shown only; the
                    // copy keeps plain hyphens).
                    text: detailsBlock.details.replace(/--(\w)/g, "-\u2060-\u2060$1")
                    Accessible.role: Accessible.StaticText
                    Accessible.name: detailsBlock.details
                }

                // Controls 1 has no clipboard of its own; an edit that is never shown lends its.
                TextEdit {
                    id: clipboardCarrier
                    visible: false
                    text: detailsBlock.details
                }

                Button {
                    id: copyDetailsButton
                    objectName: "copyDetailsButton"
                    anchors.left: parent.left
                    anchors.bottom: parent.bottom
                    anchors.bottomMargin: page.margin + appVersionBlockHeight
                    text: qsTrId("id-page5-copy-details")
                    Accessible.name: plainText(text)
                    onClicked: {
                        clipboardCarrier.selectAll()
                        clipboardCarrier.copy()
                    }
                    Keys.onReturnPressed: clickFromKeyboard(copyDetailsButton, event)
                    Keys.onEnterPressed: clickFromKeyboard(copyDetailsButton, event)
                }
            }

            // What became of the volume and of any other product connected: whether the product
            // can be powered off now, and that another one was not touched.
            Text {
                id: notes
                objectName: "notes"
                readonly property var lines: {
                    var result = []
                    if (core.errorCode === ErrorCode.NoError && core.volumeReleased)
                        result.push(substitute(qsTrId("id-page5-safe-to-power-off"),
                                               core.deviceName()))
                    else if (core.errorCode === ErrorCode.NoError && core.releaseProblem !== "")
                        result.push(substitute(qsTrId("id-page5-still-mounted"),
                                               core.releaseProblem))
                    if (core.otherProducts.length > 0)
                        result.push(substitute(qsTrId("id-page5-other-product"), core.deviceName()))
                    return result
                }
                anchors.top: description.top
                anchors.topMargin: Math.min(description.contentHeight, description.height)
                                   + page.margin
                                   + (detailsBlock.visible ? detailsText.height + page.margin : 0)
                anchors.left: parent.left
                width: parent.width - page.margin
                visible: lines.length > 0
                color: "#000000"
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt12
                wrapMode: Text.WordWrap
                textFormat: Text.PlainText
                text: lines.join("\n")
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Button {
                id: quitButton
                objectName: "quitButton"
                anchors.right: parent.right
                anchors.rightMargin: page.margin
                anchors.bottom: parent.bottom
                anchors.bottomMargin: page.margin + appVersionBlockHeight
                text: qsTrId("id-page5-quit")
                Accessible.name: plainText(text)
                // Read with the name when the button takes the focus as the page appears.
                Accessible.description: plainText(title.text + "<br>" + description.text)
                                        + (detailsBlock.details ? "\n" + detailsBlock.details : "")
                                        + (notes.text ? "\n" + notes.text : "")
                onClicked: page.quitButtonClicked()
                Keys.onReturnPressed: clickFromKeyboard(quitButton, event)
                Keys.onEnterPressed: clickFromKeyboard(quitButton, event)
            }
        }
    }
}
