<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name></name>
    <message id="id-application-title">
        <source>Corvel System Updater</source>
        <translation>Corvel System Updater</translation>
    </message>
    <message id="id-footer-updater-version">
        <source>Updater version: %1</source>
        <translation>Updater version: %1</translation>
    </message>
    <message id="id-footer-previousFW-version">
        <source>Previous firmware: %1</source>
        <translation>Previous firmware: %1</translation>
    </message>
    <message id="id-footer-newFW-version">
        <source>New firmware: %1</source>
        <translation>New firmware: %1</translation>
    </message>
    <message id="id-page1-title">
        <source>Power off %1</source>
        <translation>Power off %1</translation>
    </message>
    <message id="id-page1-description">
        <source>%1 must be powered off before starting the system update. Please confirm the following before powering off the device and moving to the next step:&lt;br&gt;• All files have been saved and backed up.&lt;br&gt;• There are no transfers in progress.&lt;br&gt;• All connected devices have been ejected (for dock devices).</source>
        <translation>%1 must be powered off before starting the system update. Please confirm the following before powering off the device and moving to the next step:&lt;br&gt;• All files have been saved and backed up.&lt;br&gt;• There are no transfers in progress.&lt;br&gt;• All connected devices have been ejected (for dock devices).</translation>
    </message>
    <message id="id-page1-next">
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message id="id-page2-title">
        <source>Connect the USB cable</source>
        <translation>Connect the USB cable</translation>
    </message>
    <message id="id-page2-description">
        <source>Use the USB cable to connect the USB ports on %1 and this computer. Do not use the Thunderbolt cable or connect to a Thunderbolt port.</source>
        <translation>Use the USB cable to connect the USB ports on %1 and this computer. Do not use the Thunderbolt cable or connect to a Thunderbolt port.</translation>
    </message>
    <message id="id-page2-back">
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message id="id-page2-next">
        <source>Next</source>
        <translation>Next</translation>
    </message>
    <message id="id-page3-title">
        <source>Launch update</source>
        <translation>Launch update</translation>
    </message>
    <message id="id-page3-description">
        <source>A small pointed object such as the end of a paperclip is required to push the recessed Firmware update button. The button is inside the small hole on the back of the device.&lt;br&gt;&lt;br&gt;Gently insert the end of the paperclip into the hole to push the Firmware update button. Simultaneously push the Firmware update button and power on %1 using the power button. Release the button once the device powers on.</source>
        <translation>A small pointed object such as the end of a paperclip is required to push the recessed Firmware update button. The button is inside the small hole on the back of the device.&lt;br&gt;&lt;br&gt;Gently insert the end of the paperclip into the hole to push the Firmware update button. Simultaneously push the Firmware update button and power on %1 using the power button. Release the button once the device powers on.</translation>
    </message>
    <message id="id-page4-title">
        <source>Updating firmware</source>
        <translation>Updating firmware</translation>
    </message>
    <message id="id-page4-description">
        <source>Update in progress. Please do not shut down or disconnect %1.</source>
        <translation>Update in progress. Please do not shut down or disconnect %1.</translation>
    </message>
    <message id="id-page5-title-successful">
        <source>System firmware successfully updated.</source>
        <translation>System firmware successfully updated.</translation>
    </message>
    <message id="id-page5-title-uptodate">
        <source>System firmware is up to date.</source>
        <translation>System firmware is up to date.</translation>
    </message>
    <message id="id-page5-title-failed">
        <source>The system firmware could not be updated. Please try again. If you continue to experience problems, visit the support page for %1.</source>
        <translation>The system firmware could not be updated. Please try again. If you continue to experience problems, visit the support page for %1.</translation>
    </message>
    <message id="id-page5-noerror">
        <source>The firmware has been installed. To complete the update:&lt;br&gt;1. Power off %1 using the power button.&lt;br&gt;2. Connect the device to your computer via Thunderbolt or USB.&lt;br&gt;3. Power on %1 using the power button.</source>
        <translation>The firmware has been installed. To complete the update:&lt;br&gt;1. Power off %1 using the power button.&lt;br&gt;2. Connect the device to your computer via Thunderbolt or USB.&lt;br&gt;3. Power on %1 using the power button.</translation>
    </message>
    <message id="id-page5-find-device-error">
        <source>Cannot find %1.</source>
        <translation>Cannot find %1.</translation>
    </message>
    <message id="id-page5-check-firmware-error">
        <source>Unable to confirm the firmware version.</source>
        <translation>Unable to confirm the firmware version.</translation>
    </message>
    <message id="id-page5-bad-hw-error">
        <source>This updater does not support the connected device.</source>
        <translation>This updater does not support the connected device.</translation>
    </message>
    <message id="id-page5-same-fw-error">
        <source>%1 system firmware is up to date.</source>
        <translation>%1 system firmware is up to date.</translation>
    </message>
    <message id="id-page5-update-firmware-error">
        <source>Unable to update the system firmware.</source>
        <translation>Unable to update the system firmware.</translation>
    </message>
    <message id="id-page5-quit">
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message id="id-page3-waiting">
        <source>Waiting for %1...</source>
        <translation>Waiting for %1...</translation>
    </message>
    <message id="id-page3-searching">
        <source>Searching for %1</source>
        <translation>Searching for %1</translation>
    </message>
    <message id="id-page4-progress-value">
        <source>Update progress: %1%</source>
        <translation>Update progress: %1%</translation>
    </message>
    <message id="id-page1-image">
        <source>%1 being powered off</source>
        <translation>%1 being powered off</translation>
    </message>
    <message id="id-page1-image-detail">
        <source>Detail: the power button</source>
        <translation>Detail: the power button</translation>
    </message>
    <message id="id-page2-image">
        <source>%1 connected to this computer with the USB cable</source>
        <translation>%1 connected to this computer with the USB cable</translation>
    </message>
    <message id="id-page2-image-detail">
        <source>Detail: the USB port</source>
        <translation>Detail: the USB port</translation>
    </message>
    <message id="id-page3-image">
        <source>A paperclip pushes the Firmware update button while %1 is powered on</source>
        <translation>A paperclip pushes the Firmware update button while %1 is powered on</translation>
    </message>
    <message id="id-page3-image-detail">
        <source>Detail: the small hole on the back of the device</source>
        <translation>Detail: the small hole on the back of the device</translation>
    </message>
    <message id="id-page4-image">
        <source>%1 receives the new firmware</source>
        <translation>%1 receives the new firmware</translation>
    </message>
    <message id="id-page5-image-success">
        <source>The update succeeded</source>
        <translation>The update succeeded</translation>
    </message>
    <message id="id-page5-image-failure">
        <source>The update failed</source>
        <translation>The update failed</translation>
    </message>
    <message id="id-page5-image-uptodate">
        <source>The firmware is up to date</source>
        <translation>The firmware is up to date</translation>
    </message>
    <message id="id-page5-details-search-timeout">
        <source>The product did not appear within %1 seconds.</source>
        <translation>The product did not appear within %1 seconds.</translation>
    </message>
    <message id="id-page5-details-search-failed">
        <source>The product's volume could not be found.</source>
        <translation>The product's volume could not be found.</translation>
    </message>
    <message id="id-page5-details-package-unreadable">
        <source>The packaged firmware could not be read: %1</source>
        <translation>The packaged firmware could not be read: %1</translation>
    </message>
    <message id="id-page5-details-package-damaged">
        <source>The packaged firmware does not match its checksum.</source>
        <translation>The packaged firmware does not match its checksum.</translation>
    </message>
    <message id="id-page5-details-firmware-missing">
        <source>There is no firmware.bin on the product's volume. If an update was interrupted, start the updater with --recover to repair the product.</source>
        <translation>There is no firmware.bin on the product's volume. If an update was interrupted, start the updater with --recover to repair the product.</translation>
    </message>
    <message id="id-page5-details-firmware-untagged">
        <source>firmware.bin on the product's volume holds no version tag. If an update was interrupted, start the updater with --recover to repair the product.</source>
        <translation>firmware.bin on the product's volume holds no version tag. If an update was interrupted, start the updater with --recover to repair the product.</translation>
    </message>
    <message id="id-page5-details-volume-changed">
        <source>The product's volume was removed or replaced during the update.</source>
        <translation>The product's volume was removed or replaced during the update.</translation>
    </message>
    <message id="id-page5-details-other-hardware">
        <source>The product's firmware is for other hardware.</source>
        <translation>The product's firmware is for other hardware.</translation>
    </message>
    <message id="id-page5-details-no-room">
        <source>The volume has no room for the new firmware.bin.</source>
        <translation>The volume has no room for the new firmware.bin.</translation>
    </message>
    <message id="id-page5-details-remove">
        <source>firmware.bin on the volume could not be removed: %1</source>
        <translation>firmware.bin on the volume could not be removed: %1</translation>
    </message>
    <message id="id-page5-details-create">
        <source>firmware.bin could not be created on the volume: %1</source>
        <translation>firmware.bin could not be created on the volume: %1</translation>
    </message>
    <message id="id-page5-details-write">
        <source>firmware.bin could not be written to the volume: %1</source>
        <translation>firmware.bin could not be written to the volume: %1</translation>
    </message>
    <message id="id-page5-details-sync">
        <source>firmware.bin could not be saved to the volume: %1</source>
        <translation>firmware.bin could not be saved to the volume: %1</translation>
    </message>
    <message id="id-page5-details-verify">
        <source>The firmware.bin read back from the volume is not the packaged firmware.</source>
        <translation>The firmware.bin read back from the volume is not the packaged firmware.</translation>
    </message>
    <message id="id-page5-copy-details">
        <source>Copy details</source>
        <translation>Copy details</translation>
    </message>
    <message id="id-page3-mount-failed">
        <source>The product was found, but its volume could not be mounted: %1</source>
        <translation>The product was found, but its volume could not be mounted: %1</translation>
    </message>
    <message id="id-page5-safe-to-power-off">
        <source>Its volume has been unmounted: it is now safe to power %1 off.</source>
        <translation>Its volume has been unmounted: it is now safe to power %1 off.</translation>
    </message>
    <message id="id-page5-still-mounted">
        <source>The volume is still mounted (%1). Eject it in your file manager before powering the product off.</source>
        <translation>The volume is still mounted (%1). Eject it in your file manager before powering the product off.</translation>
    </message>
    <message id="id-page5-other-product">
        <source>Another %1 is connected; it was left as it was. Update it on its own.</source>
        <translation>Another %1 is connected; it was left as it was. Update it on its own.</translation>
    </message>
    <message id="id-page4-file-progress">
        <source>Written: %1 %, verified: %2 %</source>
        <translation>Written: %1 %, verified: %2 %</translation>
    </message>
    <message id="id-page4-close-refused">
        <source>The firmware is being written: the window closes once the update has ended.</source>
        <translation>The firmware is being written: the window closes once the update has ended.</translation>
    </message>
    <message id="id-page5-update-running-error">
        <source>An update of %1 is already running. Nothing was changed; wait until it has ended.</source>
        <translation>An update of %1 is already running. Nothing was changed; wait until it has ended.</translation>
    </message>
    <message id="id-page5-firmware-gone">
        <source>%1 now holds no firmware. Do not power it off: start the updater again with “Repair an interrupted update” (tarsel-updater --recover) to install it.</source>
        <translation>%1 now holds no firmware. Do not power it off: start the updater again with “Repair an interrupted update” (tarsel-updater --recover) to install it.</translation>
    </message>
    <message id="id-page5-details-rename">
        <source>The new firmware.bin could not be put in place on the volume: %1</source>
        <translation>The new firmware.bin could not be put in place on the volume: %1</translation>
    </message>
</context>
</TS>
