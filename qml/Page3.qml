import QtQuick 2.5
import QtQuick.Controls 1.1
import QtQuick.Layouts 1.0
import "Styles"

Rectangle {
    id: page
    objectName: "page3"

    readonly property int margin: 25
    property string generalView: "image://data/page3/big.png"
    property string detailView: "image://data/page3/small.png"

    // The search starts as the page is shown.
    readonly property double searchEnds: Date.now() + core.findTimeout
    property int secondsLeft: Math.ceil(core.findTimeout / 1000)

    function minutesAndSeconds(seconds) {
        var rest = seconds % 60
        return Math.floor(seconds / 60) + (rest < 10 ? ":0" : ":") + rest
    }

    color: "#ededed"

    // Without a control of its own the page takes the keyboard, which would otherwise stay with
    // the hidden Next of Page 2 and go on to Page 4 without a product.
    Component.onCompleted: page.forceActiveFocus()

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
                Accessible.name: substitute(qsTrId("id-page3-image"), core.deviceName())
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
                text: qsTrId("id-page3-title")
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
                text: substitute(qsTrId("id-page3-description"), core.deviceName())
                Accessible.role: Accessible.StaticText
                Accessible.name: plainText(text)
            }

            BusyIndicator {
                id: busyIndicator
                objectName: "busyIndicator"
                // Below the description's text, which may run past its fixed height.
                anchors.top: description.top
                anchors.topMargin: Math.max(description.height, description.contentHeight)
                                   + page.margin
                anchors.left: parent.left
                width: 24
                height: 24
                running: page.secondsLeft > 0
            }

            Text {
                id: waiting
                objectName: "waiting"
                anchors.verticalCenter: busyIndicator.verticalCenter
                anchors.left: busyIndicator.right
                anchors.leftMargin: 10
                anchors.right: parent.right
                anchors.rightMargin: page.margin
                color: "#000000"
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt12
                wrapMode: Text.WordWrap
                text: substitute(qsTrId("id-page3-waiting"), minutesAndSeconds(page.secondsLeft))
                Accessible.role: Accessible.StaticText
                Accessible.name: plainText(text)
            }

            // Why the product, seen, is not mounted; the search goes on (it may be mounted by hand).
            Text {
                id: mountProblem
                objectName: "mountProblem"
                anchors.top: waiting.bottom
                anchors.topMargin: 10
                anchors.left: busyIndicator.left
                anchors.right: parent.right
                anchors.rightMargin: page.margin
                visible: core.mountProblem !== ""
                color: "#a00000"
                font.family: TarselFont.latoRegular
                font.pointSize: TarselFont.pt12
                wrapMode: Text.WordWrap
                textFormat: Text.PlainText
                text: visible ? substitute(qsTrId("id-page3-mount-failed"), core.mountProblem) : ""
                Accessible.role: Accessible.StaticText
                Accessible.name: text
            }

            // From the clock rather than by counting ticks, which a busy window may miss.
            Timer {
                interval: 1000
                repeat: true
                running: page.secondsLeft > 0
                onTriggered: page.secondsLeft = Math.max(0, Math.ceil((page.searchEnds - Date.now())
                                                                       / 1000))
            }

            Image {
                id: detailImage
                objectName: "detailImage"
                anchors.left: parent.left
                anchors.bottom: parent.bottom
                anchors.bottomMargin: page.margin + appVersionBlockHeight
                source: page.detailView
                Accessible.role: Accessible.Graphic
                Accessible.name: qsTrId("id-page3-image-detail")
            }
        }
    }
}
