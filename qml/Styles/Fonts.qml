pragma Singleton
import QtQuick 2.5

Item {
    readonly property alias latoRegular: latoRegularLoader.name
    // macOS renders points smaller, so its sizes are larger.
    readonly property int pt14: Qt.platform.os === "osx" ? 18 : 14
    readonly property int pt12: Qt.platform.os === "osx" ? 16 : 12
    readonly property int pt10: Qt.platform.os === "osx" ? 14 : 10

    FontLoader {
        id: latoRegularLoader
        source: "qrc:///qml/Fonts/Lato-Regular.ttf"
    }
}
