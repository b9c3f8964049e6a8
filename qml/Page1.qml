import QtQuick 2.5
import QtQuick.Controls 1.0
import QtQuick.Layouts 1.0
import "Styles"

Rectangle {
    id: page
    objectName: "page1"

    readonly property int margin: 25
    property string generalView: "image://data/page1/big.png"
    property string detailView: "image://data/page1/small.png"

    function nextButtonClicked() {
        navigator.next()
    }

    // Also as the page settles (Main.qml), for a screen reader to read it then.
    function takeFocus() {
        nextButton.forceActiveFocus()
    }

    color: "#ededed"

    // The main button takes the keyboard when the page is complete: the first Page 1 is shown
    // without any change of index, so waiting for one would leave it without focus.
    Component.onCompleted: takeFocus()

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
                Accessible.name: substitute(qsTrId("id-page1-image"), core.deviceName())
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
                text: substitute(qsTrId("id-page1-title"), core.deviceName())
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
                text: substitute(qsTrId("id-page1-description"), core.deviceName())
                Accessible.role: Accessible.StaticText
                Accessible.name: plainText(text)
            }

            Image {
                id: detailImage
                objectName: "detailImage"
                anchors.left: parent.left
                anchors.bottom: parent.bottom
                anchors.bottomMargin: page.margin + appVersionBlockHeight
                source: page.detailView
                Accessible.role: Accessible.Graphic
                Accessible.name: qsTrId("id-page1-image-detail")
            }

            Button {
                id: nextButton
                objectName: "nextButton"
                anchors.right: parent.right
                anchors.rightMargin: page.margin
                anchors.bottom: parent.bottom
                anchors.bottomMargin: page.margin + appVersionBlockHeight
                text: qsTrId("id-page1-next")
                Accessible.name: plainText(text)
                // Read with the name when the button takes the focus as the page appears.
                Accessible.description: plainText(title.text + "<br>" + description.text)
                onClicked: page.nextButtonClicked()
                Keys.onReturnPressed: clickFromKeyboard(nextButton, event)
                Keys.onEnterPressed: clickFromKeyboard(nextButton, event)
            }
        }
    }
}
