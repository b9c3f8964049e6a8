// tarsel-sim: plays the product for the updater's Linux detection, without the hardware.
#include "productsimulator.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarsel-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulates the product in update mode: a fake sysfs tree and mount table in DIR.\n"
        "  create DIR      make DIR/sysfs, DIR/mountinfo and DIR/volume/firmware.bin\n"
        "  plug DIR        power the product on in update mode (its volume is mounted)\n"
        "  unplug DIR      take the product's volume away\n"
        "  plug-other DIR  mount an unrelated USB stick\n"
        "  unplug-other DIR"));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
        QStringLiteral("create, plug, unplug, plug-other or unplug-other"));
    parser.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("the simulation's folder"));
    const QCommandLineOption vid(QStringLiteral("vid"),
        QStringLiteral("USB vendor id (create; default 0x1a2b)"), QStringLiteral("V"));
    const QCommandLineOption pid(QStringLiteral("pid"),
        QStringLiteral("USB product id (create; default 0x3c4d)"), QStringLiteral("P"));
    const QCommandLineOption tag(QStringLiteral("tag"),
        QStringLiteral("firmware.bin tagged HW-VERSION (create; default "
                       "3-1.0.0.1)"),
        QStringLiteral("HW-VERSION"));
    const QCommandLineOption firmware(QStringLiteral("firmware"),
        QStringLiteral("copy FILE as firmware.bin (create)"), QStringLiteral("FILE"));
    parser.addOptions({ vid, pid, tag, firmware });
    parser.process(app);

    QTextStream err(stderr);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 2) {
        err << "tarsel-sim: give a command and DIR; see --help\n";
        return 2;
    }
    const QString command = args.at(0);
    ProductSimulator simulator(args.at(1));
    bool ok = false;
    if (command == QLatin1String("create")) {
        if (parser.isSet(tag) && parser.isSet(firmware)) {
            err << "tarsel-sim: give --tag or --firmware, not both\n";
            return 2;
        }
        ProductSimulator::Options options;
        if (parser.isSet(vid))
            options.vid = parser.value(vid);
        if (parser.isSet(pid))
            options.pid = parser.value(pid);
        if (parser.isSet(tag))
            options.tag = parser.value(tag);
        options.firmwareFile = parser.value(firmware);
        ok = simulator.create(options);
        if (ok)
            QTextStream(stdout) << simulator.environmentAssignments();
    } else if (parser.isSet(vid) || parser.isSet(pid) || parser.isSet(tag)
        || parser.isSet(firmware)) {
        err << "tarsel-sim: --vid, --pid, --tag and --firmware belong to create\n";
        return 2;
    } else if (command == QLatin1String("plug")) {
        ok = simulator.plug();
    } else if (command == QLatin1String("unplug")) {
        ok = simulator.unplug();
    } else if (command == QLatin1String("plug-other")) {
        ok = simulator.plugOther();
    } else if (command == QLatin1String("unplug-other")) {
        ok = simulator.unplugOther();
    } else {
        err << "tarsel-sim: unknown command \"" << command << "\"; see --help\n";
        return 2;
    }
    if (!ok)
        err << "tarsel-sim: " << simulator.errorString() << "\n";
    return ok ? 0 : 1;
}
