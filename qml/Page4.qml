import QtQuick 2.5
import QtQuick.Controls 1.0
import QtQuick.Layouts 1.0
import "Styles"

Rectangle {
    id: page
    objectName: "page4"

    readonly property int margin: 25
    property string generalView: "image://data/page4/big.png"

    // Also as the page settles (Main.qml), for a screen reader to read it then.
    function takeFocus() {
        page.forceActiveFocus()
    }

    color: "#ededed"

    // Without a control of its own the page takes the keyboard, which would otherwise stay with
    // the hidden Next of Page 2 and go on to Page 4 without a product. With it a screen reader
    // reads the page's title and description as the page appears.
    Component.onCompleted: takeFocus()
    Accessible.role: Accessible.Pane
    Accessible.focusable: true
    Accessible.name: plainText(title.text)
    Accessible.description: plainText(description.text)

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
                Accessible.name: substitute(qsTrId("id-page4-image"), core.deviceName())
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
                text: qsTrId("id-page4-title")
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
                height: 70
                color: "#000000"
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt12
                wrapMode: Text.WordWrap
                verticalAlignment: Text.AlignTop
                lineHeightMode: Text.ProportionalHeight
                lineHeight: 1.2
                text: substitute(qsTrId("id-page4-description"), core.deviceName())
                Accessible.role: Accessible.StaticText
                Accessible.name: plainText(text)
            }

            ProgressBar {
                id: progressBar
                objectName: "progressBar"
                anchors.top: description.bottom
                anchors.topMargin: page.margin
                anchors.left: parent.left
                width: parent.width - page.margin
                height: 10
                minimumValue: 0
                maximumValue: 100
                value: 0
                // The bar's own name is its bare value; this one says what it measures, and the
                // value in the user's language.
                Accessible.name: substitute(qsTrId("id-page4-progress-value"),
                                            Number(value).toLocaleString(Qt.locale(), "f", 0))
            }

            // How far the file work is, beside the bar that shows the closing steps after it.
            Text {
                id: fileProgressText
                objectName: "fileProgress"
                anchors.top: progressBar.bottom
                anchors.topMargin: 10
                anchors.left: parent.left
                width: parent.width - page.margin
                color: "#444444"
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt10
                wrapMode: Text.WordWrap
                visible: text !== ""
                text: ""
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            Text {
                id: closeRefusedNote
                objectName: "closeRefusedNote"
                anchors.top: fileProgressText.bottom
                anchors.topMargin: 10
                anchors.left: parent.left
                width: parent.width - page.margin
                color: "#000000"
                font.bold: true
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt10
                wrapMode: Text.WordWrap
                visible: closeRefused
                text: qsTrId("id-page4-close-refused")
                Accessible.role: Accessible.StaticText
                Accessible.name: visible ? text : ""
            }

            Connections {
                target: core
                function onProgressChanged(progress) {
                    progressBar.value = progress
                }
                function onFileProgress(written, verified, total) {
                    var percent = function (bytes) {
                        return total > 0 ? Math.floor(bytes * 100 / total) : 100
                    }
                    fileProgressText.text = qsTrId("id-page4-file-progress")
                        .split("%1").join(percent(written)).split("%2").join(percent(verified))
                }
            }
        }
    }
}
