<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- Short texts for the QML tests; some ids are left out on purpose, so that their ids show. -->
<TS version="2.1" language="en_US">
<context>
    <name></name>
    <message id="id-application-title">
        <source>Test Updater</source>
        <translation>Test Updater</translation>
    </message>
    <message id="id-footer-updater-version">
        <source>Updater %1</source>
        <translation>Updater %1</translation>
    </message>
    <message id="id-footer-previousFW-version">
        <source>Previous %1</source>
        <translation>Previous %1</translation>
    </message>
    <message id="id-footer-newFW-version">
        <source>New %1</source>
        <translation>New %1</translation>
    </message>
    <message id="id-page1-title">
        <source>Power off %1</source>
        <translation>Power off %1</translation>
    </message>
    <message id="id-page1-description">
        <source>Turn %1 off.&lt;br&gt;Save your files.</source>
        <translation>Turn %1 off.&lt;br&gt;Save your files.</translation>
    </message>
    <message id="id-page1-next">
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message id="id-page2-title">
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message id="id-page2-next">
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message id="id-page2-back">
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message id="id-page3-description">
        <source>Power %1 on.</source>
        <translation>Power %1 on.</translation>
    </message>
    <message id="id-page4-title">
        <source>Updating</source>
        <translation>Updating</translation>
    </message>
    <message id="id-page5-title-successful">
        <source>Updated.</source>
        <translation>Updated.</translation>
    </message>
    <message id="id-page5-title-uptodate">
        <source>Up to date.</source>
        <translation>Up to date.</translation>
    </message>
    <message id="id-page5-title-failed">
        <source>Failed for %1.</source>
        <translation>Failed for %1.</translation>
    </message>
    <message id="id-page5-noerror">
        <source>Installed. Power %1 off, then power %1 on.</source>
        <translation>Installed. Power %1 off, then power %1 on.</translation>
    </message>
    <message id="id-page5-find-device-error">
        <source>Cannot find %1.</source>
        <translation>Cannot find %1.</translation>
    </message>
    <message id="id-page5-bad-hw-error">
        <source>Other hardware.</source>
        <translation>Other hardware.</translation>
    </message>
    <message id="id-page5-same-fw-error">
        <source>%1 is up to date.</source>
        <translation>%1 is up to date.</translation>
    </message>
    <message id="id-page5-update-firmware-error">
        <source>Cannot write.</source>
        <translation>Cannot write.</translation>
    </message>
    <message id="id-page5-quit">
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message id="id-page3-waiting">
        <source>Waiting %1</source>
        <translation>Waiting %1</translation>
    </message>
    <message id="id-page5-copy-details">
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message id="id-page4-file-progress">
        <source>Written %1, verified %2</source>
        <translation>Written %1, verified %2</translation>
    </message>
    <message id="id-page5-firmware-gone">
        <source>%1 holds none.</source>
        <translation>%1 holds none.</translation>
    </message>
    <message id="id-page5-update-running-error">
        <source>%1 is busy.</source>
        <translation>%1 is busy.</translation>
    </message>
</context>
</TS>
