import QtQuick 2.5
import QtQuick.Controls 1.0
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

            // Eight dots, one of them dark, moving on a few times a second: a continuous
            // animation keeps a software-rendered window drawing all the time it waits.
            Item {
                id: busyIndicator
                objectName: "busyIndicator"

                property bool running: page.secondsLeft > 0
                property int step: 0

                // Below the description's text, which may run past its fixed height.
                anchors.top: description.top
                anchors.topMargin: Math.max(description.height, description.contentHeight)
                                   + page.margin
                anchors.left: parent.left
                width: 24
                height: 24
                Accessible.role: Accessible.Animation
                Accessible.name: substitute(qsTrId("id-page3-searching"), core.deviceName())

                Repeater {
                    model: 8
                    Rectangle {
                        readonly property real angle: index * Math.PI / 4
                        x: 9 + 9 * Math.sin(angle)
                        y: 9 - 9 * Math.cos(angle)
                        width: 6
                        height: 6
                        radius: 3
                        color: "#000000"
                        opacity: busyIndicator.running
                                 ? 0.15 + 0.85 * Math.pow(0.7, (busyIndicator.step - index + 8) % 8)
                                 : 0.15
                    }
                }

                Timer {
                    interval: 250
                    repeat: true
                    running: busyIndicator.running
                    onTriggered: busyIndicator.step = (busyIndicator.step + 1) % 8
                }
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
