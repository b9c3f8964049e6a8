<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name></name>
    <message id="id-application-title">
        <source>Corvel System Updater</source>
        <translation>Corvel Systemaktualisierung</translation>
    </message>
    <message id="id-footer-updater-version">
        <source>Updater version: %1</source>
        <translation>Version des Aktualisierungsprogramms: %1</translation>
    </message>
    <message id="id-footer-previousFW-version">
        <source>Previous firmware: %1</source>
        <translation>Bisherige Firmware: %1</translation>
    </message>
    <message id="id-footer-newFW-version">
        <source>New firmware: %1</source>
        <translation>Neue Firmware: %1</translation>
    </message>
    <message id="id-page1-title">
        <source>Power off %1</source>
        <translation>%1 ausschalten</translation>
    </message>
    <message id="id-page1-description">
        <source>%1 must be powered off before starting the system update. Please confirm the following before powering off the device and moving to the next step:&lt;br&gt;• All files have been saved and backed up.&lt;br&gt;• There are no transfers in progress.&lt;br&gt;• All connected devices have been ejected (for dock devices).</source>
        <translation>%1 muss ausgeschaltet sein, bevor die Systemaktualisierung beginnt. Bitte vergewissern Sie sich vor dem Ausschalten des Geräts und dem Wechsel zum nächsten Schritt, dass Folgendes zutrifft:&lt;br&gt;• Alle Dateien wurden gespeichert und gesichert.&lt;br&gt;• Es laufen keine Übertragungen.&lt;br&gt;• Alle angeschlossenen Geräte wurden ausgeworfen (bei Dock-Geräten).</translation>
    </message>
    <message id="id-page1-next">
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message id="id-page2-title">
        <source>Connect the USB cable</source>
        <translation>USB-Kabel anschließen</translation>
    </message>
    <message id="id-page2-description">
        <source>Use the USB cable to connect the USB ports on %1 and this computer. Do not use the Thunderbolt cable or connect to a Thunderbolt port.</source>
        <translation>Verbinden Sie die USB-Anschlüsse von %1 und diesem Computer mit dem USB-Kabel. Verwenden Sie nicht das Thunderbolt-Kabel und schließen Sie das Kabel nicht an einen Thunderbolt-Anschluss an.</translation>
    </message>
    <message id="id-page2-back">
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message id="id-page2-next">
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message id="id-page3-title">
        <source>Launch update</source>
        <translation>Aktualisierung starten</translation>
    </message>
    <message id="id-page3-description">
        <source>A small pointed object such as the end of a paperclip is required to push the recessed Firmware update button. The button is inside the small hole on the back of the device.&lt;br&gt;&lt;br&gt;Gently insert the end of the paperclip into the hole to push the Firmware update button. Simultaneously push the Firmware update button and power on %1 using the power button. Release the button once the device powers on.</source>
        <translation>Um die versenkte Firmware-Update-Taste zu drücken, benötigen Sie einen kleinen spitzen Gegenstand wie das Ende einer Büroklammer. Die Taste befindet sich in der kleinen Öffnung auf der Rückseite des Geräts.&lt;br&gt;&lt;br&gt;Führen Sie das Ende der Büroklammer vorsichtig in die Öffnung ein, um die Firmware-Update-Taste zu drücken. Halten Sie die Firmware-Update-Taste gedrückt und schalten Sie gleichzeitig %1 mit dem Ein-/Aus-Schalter ein. Lassen Sie die Taste los, sobald sich das Gerät einschaltet.</translation>
    </message>
    <message id="id-page4-title">
        <source>Updating firmware</source>
        <translation>Firmware wird aktualisiert</translation>
    </message>
    <message id="id-page4-description">
        <source>Update in progress. Please do not shut down or disconnect %1.</source>
        <translation>Aktualisierung läuft. Bitte %1 nicht ausschalten oder trennen.</translation>
    </message>
    <message id="id-page5-title-successful">
        <source>System firmware successfully updated.</source>
        <translation>Die System-Firmware wurde erfolgreich aktualisiert.</translation>
    </message>
    <message id="id-page5-title-uptodate">
        <source>System firmware is up to date.</source>
        <translation>Die System-Firmware ist auf dem neuesten Stand.</translation>
    </message>
    <message id="id-page5-title-failed">
        <source>The system firmware could not be updated. Please try again. If you continue to experience problems, visit the support page for %1.</source>
        <translation>Die System-Firmware konnte nicht aktualisiert werden. Bitte versuchen Sie es erneut. Wenn die Probleme weiterhin bestehen, besuchen Sie die Support-Seite für %1.</translation>
    </message>
    <message id="id-page5-noerror">
        <source>The firmware has been installed. To complete the update:&lt;br&gt;1. Power off %1 using the power button.&lt;br&gt;2. Connect the device to your computer via Thunderbolt or USB.&lt;br&gt;3. Power on %1 using the power button.</source>
        <translation>Die Firmware wurde installiert. So schließen Sie die Aktualisierung ab:&lt;br&gt;1. Schalten Sie %1 mit dem Ein-/Aus-Schalter aus.&lt;br&gt;2. Verbinden Sie das Gerät über Thunderbolt oder USB mit Ihrem Computer.&lt;br&gt;3. Schalten Sie %1 mit dem Ein-/Aus-Schalter ein.</translation>
    </message>
    <message id="id-page5-find-device-error">
        <source>Cannot find %1.</source>
        <translation>%1 wurde nicht gefunden.</translation>
    </message>
    <message id="id-page5-check-firmware-error">
        <source>Unable to confirm the firmware version.</source>
        <translation>Die Firmware-Version konnte nicht bestätigt werden.</translation>
    </message>
    <message id="id-page5-bad-hw-error">
        <source>This updater does not support the connected device.</source>
        <translation>Dieses Aktualisierungsprogramm unterstützt das angeschlossene Gerät nicht.</translation>
    </message>
    <message id="id-page5-same-fw-error">
        <source>%1 system firmware is up to date.</source>
        <translation>Die System-Firmware von %1 ist auf dem neuesten Stand.</translation>
    </message>
    <message id="id-page5-update-firmware-error">
        <source>Unable to update the system firmware.</source>
        <translation>Die System-Firmware konnte nicht aktualisiert werden.</translation>
    </message>
    <message id="id-page5-quit">
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message id="id-page3-waiting">
        <source>Waiting for %1...</source>
        <translation>Noch %1 warten...</translation>
    </message>
    <message id="id-page3-searching">
        <source>Searching for %1</source>
        <translation>Suche nach %1</translation>
    </message>
    <message id="id-page4-progress-value">
        <source>Update progress: %1%</source>
        <translation>Fortschritt der Aktualisierung: %1 %</translation>
    </message>
    <message id="id-page1-image">
        <source>%1 being powered off</source>
        <translation>%1 wird ausgeschaltet</translation>
    </message>
    <message id="id-page1-image-detail">
        <source>Detail: the power button</source>
        <translation>Detail: der Ein-/Ausschalter</translation>
    </message>
    <message id="id-page2-image">
        <source>%1 connected to this computer with the USB cable</source>
        <translation>%1 ist über das USB-Kabel mit diesem Computer verbunden</translation>
    </message>
    <message id="id-page2-image-detail">
        <source>Detail: the USB port</source>
        <translation>Detail: der USB-Anschluss</translation>
    </message>
    <message id="id-page3-image">
        <source>A paperclip pushes the Firmware update button while %1 is powered on</source>
        <translation>Eine Büroklammer drückt die Firmware-Update-Taste, während %1 eingeschaltet wird</translation>
    </message>
    <message id="id-page3-image-detail">
        <source>Detail: the small hole on the back of the device</source>
        <translation>Detail: das kleine Loch auf der Rückseite des Geräts</translation>
    </message>
    <message id="id-page4-image">
        <source>%1 receives the new firmware</source>
        <translation>%1 erhält die neue Firmware</translation>
    </message>
    <message id="id-page5-image-success">
        <source>The update succeeded</source>
        <translation>Die Aktualisierung ist gelungen</translation>
    </message>
    <message id="id-page5-image-failure">
        <source>The update failed</source>
        <translation>Die Aktualisierung ist fehlgeschlagen</translation>
    </message>
    <message id="id-page5-image-uptodate">
        <source>The firmware is up to date</source>
        <translation>Die Firmware ist auf dem neuesten Stand</translation>
    </message>
    <message id="id-page5-details-search-timeout">
        <source>The product did not appear within %1 seconds.</source>
        <translation>Das Produkt ist innerhalb von %1 Sekunden nicht erschienen.</translation>
    </message>
    <message id="id-page5-details-search-failed">
        <source>The product's volume could not be found.</source>
        <translation>Das Laufwerk des Produkts wurde nicht gefunden.</translation>
    </message>
    <message id="id-page5-details-package-unreadable">
        <source>The packaged firmware could not be read: %1</source>
        <translation>Die Firmware im Paket konnte nicht gelesen werden: %1</translation>
    </message>
    <message id="id-page5-details-package-damaged">
        <source>The packaged firmware does not match its checksum.</source>
        <translation>Die Firmware im Paket stimmt nicht mit ihrer Prüfsumme überein.</translation>
    </message>
    <message id="id-page5-details-firmware-missing">
        <source>There is no firmware.bin on the product's volume. If an update was interrupted, start the updater with --recover to repair the product.</source>
        <translation>Auf dem Laufwerk des Produkts fehlt firmware.bin. Wurde eine Aktualisierung unterbrochen, starten Sie das Programm mit --recover, um das Produkt zu reparieren.</translation>
    </message>
    <message id="id-page5-details-firmware-untagged">
        <source>firmware.bin on the product's volume holds no version tag. If an update was interrupted, start the updater with --recover to repair the product.</source>
        <translation>firmware.bin auf dem Laufwerk des Produkts enthält keine Versionskennung. Wurde eine Aktualisierung unterbrochen, starten Sie das Programm mit --recover, um das Produkt zu reparieren.</translation>
    </message>
    <message id="id-page5-details-volume-changed">
        <source>The product's volume was removed or replaced during the update.</source>
        <translation>Das Laufwerk des Produkts wurde während der Aktualisierung entfernt oder ersetzt.</translation>
    </message>
    <message id="id-page5-details-other-hardware">
        <source>The product's firmware is for other hardware.</source>
        <translation>Die Firmware des Produkts ist für andere Hardware bestimmt.</translation>
    </message>
    <message id="id-page5-details-no-room">
        <source>The volume has no room for the new firmware.bin.</source>
        <translation>Auf dem Laufwerk ist kein Platz für die neue firmware.bin.</translation>
    </message>
    <message id="id-page5-details-remove">
        <source>firmware.bin on the volume could not be removed: %1</source>
        <translation>firmware.bin auf dem Laufwerk konnte nicht gelöscht werden: %1</translation>
    </message>
    <message id="id-page5-details-create">
        <source>firmware.bin could not be created on the volume: %1</source>
        <translation>firmware.bin konnte auf dem Laufwerk nicht angelegt werden: %1</translation>
    </message>
    <message id="id-page5-details-write">
        <source>firmware.bin could not be written to the volume: %1</source>
        <translation>firmware.bin konnte nicht auf das Laufwerk geschrieben werden: %1</translation>
    </message>
    <message id="id-page5-details-sync">
        <source>firmware.bin could not be saved to the volume: %1</source>
        <translation>firmware.bin konnte nicht auf dem Laufwerk gesichert werden: %1</translation>
    </message>
    <message id="id-page5-details-verify">
        <source>The firmware.bin read back from the volume is not the packaged firmware.</source>
        <translation>Die vom Laufwerk zurückgelesene firmware.bin stimmt nicht mit der Firmware im Paket überein.</translation>
    </message>
    <message id="id-page5-copy-details">
        <source>Copy details</source>
        <translation>Details kopieren</translation>
    </message>
    <message id="id-page3-mount-failed">
        <source>The product was found, but its volume could not be mounted: %1</source>
        <translation>Das Produkt wurde gefunden, sein Laufwerk konnte aber nicht eingebunden werden: %1</translation>
    </message>
    <message id="id-page5-safe-to-power-off">
        <source>Its volume has been unmounted: it is now safe to power %1 off.</source>
        <translation>Sein Laufwerk wurde ausgehängt: %1 kann jetzt sicher ausgeschaltet werden.</translation>
    </message>
    <message id="id-page5-still-mounted">
        <source>The volume is still mounted (%1). Eject it in your file manager before powering the product off.</source>
        <translation>Das Laufwerk ist noch eingebunden (%1). Werfen Sie es in der Dateiverwaltung aus, bevor Sie das Produkt ausschalten.</translation>
    </message>
    <message id="id-page5-other-product">
        <source>Another %1 is connected; it was left as it was. Update it on its own.</source>
        <translation>Ein weiteres Gerät %1 ist angeschlossen; es blieb unverändert. Aktualisieren Sie es einzeln.</translation>
    </message>
    <message id="id-page4-file-progress">
        <source>Written: %1 %, verified: %2 %</source>
        <translation>Geschrieben: %1 %, geprüft: %2 %</translation>
    </message>
    <message id="id-page4-close-refused">
        <source>The firmware is being written: the window closes once the update has ended.</source>
        <translation>Die Firmware wird geschrieben: Das Fenster lässt sich schließen, sobald die Aktualisierung beendet ist.</translation>
    </message>
    <message id="id-page5-update-running-error">
        <source>An update of %1 is already running. Nothing was changed; wait until it has ended.</source>
        <translation>Eine Aktualisierung von %1 läuft bereits. Es wurde nichts verändert; warten Sie, bis sie beendet ist.</translation>
    </message>
    <message id="id-page5-firmware-gone">
        <source>%1 now holds no firmware. Do not power it off: start the updater again with “Repair an interrupted update” (tarsel-updater --recover) to install it.</source>
        <translation>%1 enthält jetzt keine Firmware. Schalten Sie das Gerät nicht aus: Starten Sie die Aktualisierung erneut mit „Unterbrochene Aktualisierung reparieren“ (tarsel-updater --recover), um sie zu installieren.</translation>
    </message>
    <message id="id-page5-details-rename">
        <source>The new firmware.bin could not be put in place on the volume: %1</source>
        <translation>Die neue firmware.bin konnte auf dem Laufwerk nicht an ihren Platz gebracht werden: %1</translation>
    </message>
</context>
</TS>
