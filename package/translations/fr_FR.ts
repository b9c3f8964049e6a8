<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR" sourcelanguage="en_US">
<context>
    <name></name>
    <message id="id-application-title">
        <source>Corvel System Updater</source>
        <translation>Mise à jour du système Corvel</translation>
    </message>
    <message id="id-footer-updater-version">
        <source>Updater version: %1</source>
        <translation>Version du programme de mise à jour : %1</translation>
    </message>
    <message id="id-footer-previousFW-version">
        <source>Previous firmware: %1</source>
        <translation>Micrologiciel précédent : %1</translation>
    </message>
    <message id="id-footer-newFW-version">
        <source>New firmware: %1</source>
        <translation>Nouveau micrologiciel : %1</translation>
    </message>
    <message id="id-page1-title">
        <source>Power off %1</source>
        <translation>Éteindre %1</translation>
    </message>
    <message id="id-page1-description">
        <source>%1 must be powered off before starting the system update. Please confirm the following before powering off the device and moving to the next step:&lt;br&gt;• All files have been saved and backed up.&lt;br&gt;• There are no transfers in progress.&lt;br&gt;• All connected devices have been ejected (for dock devices).</source>
        <translation>%1 doit être éteint avant de commencer la mise à jour du système. Avant d'éteindre l'appareil et de passer à l'étape suivante, veuillez vérifier les points suivants :&lt;br&gt;• Tous les fichiers ont été enregistrés et sauvegardés.&lt;br&gt;• Aucun transfert n'est en cours.&lt;br&gt;• Tous les appareils connectés ont été éjectés (pour les stations d'accueil).</translation>
    </message>
    <message id="id-page1-next">
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message id="id-page2-title">
        <source>Connect the USB cable</source>
        <translation>Branchez le câble USB</translation>
    </message>
    <message id="id-page2-description">
        <source>Use the USB cable to connect the USB ports on %1 and this computer. Do not use the Thunderbolt cable or connect to a Thunderbolt port.</source>
        <translation>Utilisez le câble USB pour relier les ports USB de %1 et de cet ordinateur. N'utilisez pas le câble Thunderbolt et ne branchez pas le câble sur un port Thunderbolt.</translation>
    </message>
    <message id="id-page2-back">
        <source>Back</source>
        <translation>Retour</translation>
    </message>
    <message id="id-page2-next">
        <source>Next</source>
        <translation>Suivant</translation>
    </message>
    <message id="id-page3-title">
        <source>Launch update</source>
        <translation>Lancer la mise à jour</translation>
    </message>
    <message id="id-page3-description">
        <source>A small pointed object such as the end of a paperclip is required to push the recessed Firmware update button. The button is inside the small hole on the back of the device.&lt;br&gt;&lt;br&gt;Gently insert the end of the paperclip into the hole to push the Firmware update button. Simultaneously push the Firmware update button and power on %1 using the power button. Release the button once the device powers on.</source>
        <translation>Un petit objet pointu, comme l'extrémité d'un trombone, est nécessaire pour appuyer sur le bouton encastré de mise à jour du micrologiciel. Ce bouton se trouve dans le petit trou à l'arrière de l'appareil.&lt;br&gt;&lt;br&gt;Insérez délicatement l'extrémité du trombone dans le trou pour appuyer sur le bouton de mise à jour du micrologiciel. Tout en maintenant ce bouton enfoncé, allumez %1 à l'aide du bouton d'alimentation. Relâchez le bouton dès que l'appareil s'allume.</translation>
    </message>
    <message id="id-page4-title">
        <source>Updating firmware</source>
        <translation>Mise à jour du micrologiciel</translation>
    </message>
    <message id="id-page4-description">
        <source>Update in progress. Please do not shut down or disconnect %1.</source>
        <translation>Mise à jour en cours. Veuillez ne pas éteindre ni déconnecter %1.</translation>
    </message>
    <message id="id-page5-title-successful">
        <source>System firmware successfully updated.</source>
        <translation>Le micrologiciel du système a été mis à jour avec succès.</translation>
    </message>
    <message id="id-page5-title-uptodate">
        <source>System firmware is up to date.</source>
        <translation>Le micrologiciel du système est à jour.</translation>
    </message>
    <message id="id-page5-title-failed">
        <source>The system firmware could not be updated. Please try again. If you continue to experience problems, visit the support page for %1.</source>
        <translation>Le micrologiciel du système n'a pas pu être mis à jour. Veuillez réessayer. Si le problème persiste, consultez la page d'assistance de %1.</translation>
    </message>
    <message id="id-page5-noerror">
        <source>The firmware has been installed. To complete the update:&lt;br&gt;1. Power off %1 using the power button.&lt;br&gt;2. Connect the device to your computer via Thunderbolt or USB.&lt;br&gt;3. Power on %1 using the power button.</source>
        <translation>Le micrologiciel a été installé. Pour terminer la mise à jour :&lt;br&gt;1. Éteignez %1 à l'aide du bouton d'alimentation.&lt;br&gt;2. Connectez l'appareil à votre ordinateur via Thunderbolt ou USB.&lt;br&gt;3. Allumez %1 à l'aide du bouton d'alimentation.</translation>
    </message>
    <message id="id-page5-find-device-error">
        <source>Cannot find %1.</source>
        <translation>Impossible de trouver %1.</translation>
    </message>
    <message id="id-page5-check-firmware-error">
        <source>Unable to confirm the firmware version.</source>
        <translation>Impossible de confirmer la version du micrologiciel.</translation>
    </message>
    <message id="id-page5-bad-hw-error">
        <source>This updater does not support the connected device.</source>
        <translation>Ce programme de mise à jour ne prend pas en charge l'appareil connecté.</translation>
    </message>
    <message id="id-page5-same-fw-error">
        <source>%1 system firmware is up to date.</source>
        <translation>Le micrologiciel du système de %1 est à jour.</translation>
    </message>
    <message id="id-page5-update-firmware-error">
        <source>Unable to update the system firmware.</source>
        <translation>Impossible de mettre à jour le micrologiciel du système.</translation>
    </message>
    <message id="id-page5-quit">
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message id="id-page3-waiting">
        <source>Waiting for %1...</source>
        <translation>Encore %1 d'attente...</translation>
    </message>
    <message id="id-page3-searching">
        <source>Searching for %1</source>
        <translation>Recherche de %1</translation>
    </message>
    <message id="id-page4-progress-value">
        <source>Update progress: %1%</source>
        <translation>Progression de la mise à jour : %1 %</translation>
    </message>
    <message id="id-page1-image">
        <source>%1 being powered off</source>
        <translation>Mise hors tension de %1</translation>
    </message>
    <message id="id-page1-image-detail">
        <source>Detail: the power button</source>
        <translation>Détail : le bouton d'alimentation</translation>
    </message>
    <message id="id-page2-image">
        <source>%1 connected to this computer with the USB cable</source>
        <translation>%1 relié à cet ordinateur par le câble USB</translation>
    </message>
    <message id="id-page2-image-detail">
        <source>Detail: the USB port</source>
        <translation>Détail : le port USB</translation>
    </message>
    <message id="id-page3-image">
        <source>A paperclip pushes the Firmware update button while %1 is powered on</source>
        <translation>Un trombone appuie sur le bouton de mise à jour du micrologiciel pendant la mise sous tension de %1</translation>
    </message>
    <message id="id-page3-image-detail">
        <source>Detail: the small hole on the back of the device</source>
        <translation>Détail : le petit trou à l'arrière de l'appareil</translation>
    </message>
    <message id="id-page4-image">
        <source>%1 receives the new firmware</source>
        <translation>%1 reçoit le nouveau micrologiciel</translation>
    </message>
    <message id="id-page5-image-success">
        <source>The update succeeded</source>
        <translation>La mise à jour a réussi</translation>
    </message>
    <message id="id-page5-image-failure">
        <source>The update failed</source>
        <translation>La mise à jour a échoué</translation>
    </message>
    <message id="id-page5-image-uptodate">
        <source>The firmware is up to date</source>
        <translation>Le micrologiciel est à jour</translation>
    </message>
    <message id="id-page5-details-search-timeout">
        <source>The product did not appear within %1 seconds.</source>
        <translation>Le produit n'est pas apparu dans les %1 secondes.</translation>
    </message>
    <message id="id-page5-details-search-failed">
        <source>The product's volume could not be found.</source>
        <translation>Le volume du produit est introuvable.</translation>
    </message>
    <message id="id-page5-details-package-unreadable">
        <source>The packaged firmware could not be read: %1</source>
        <translation>Le micrologiciel du paquet n'a pas pu être lu : %1</translation>
    </message>
    <message id="id-page5-details-package-damaged">
        <source>The packaged firmware does not match its checksum.</source>
        <translation>Le micrologiciel du paquet ne correspond pas à sa somme de contrôle.</translation>
    </message>
    <message id="id-page5-details-firmware-missing">
        <source>There is no firmware.bin on the product's volume. If an update was interrupted, start the updater with --recover to repair the product.</source>
        <translation>Le volume du produit ne contient pas de firmware.bin. Si une mise à jour a été interrompue, lancez le programme avec --recover pour réparer le produit.</translation>
    </message>
    <message id="id-page5-details-firmware-untagged">
        <source>firmware.bin on the product's volume holds no version tag. If an update was interrupted, start the updater with --recover to repair the product.</source>
        <translation>Le fichier firmware.bin du volume du produit ne porte pas de version. Si une mise à jour a été interrompue, lancez le programme avec --recover pour réparer le produit.</translation>
    </message>
    <message id="id-page5-details-volume-changed">
        <source>The product's volume was removed or replaced during the update.</source>
        <translation>Le volume du produit a été retiré ou remplacé pendant la mise à jour.</translation>
    </message>
    <message id="id-page5-details-other-hardware">
        <source>The product's firmware is for other hardware.</source>
        <translation>Le micrologiciel du produit est destiné à un autre matériel.</translation>
    </message>
    <message id="id-page5-details-no-room">
        <source>The volume has no room for the new firmware.bin.</source>
        <translation>Le volume n'a pas assez de place pour le nouveau firmware.bin.</translation>
    </message>
    <message id="id-page5-details-remove">
        <source>firmware.bin on the volume could not be removed: %1</source>
        <translation>Impossible de supprimer firmware.bin du volume : %1</translation>
    </message>
    <message id="id-page5-details-create">
        <source>firmware.bin could not be created on the volume: %1</source>
        <translation>Impossible de créer firmware.bin sur le volume : %1</translation>
    </message>
    <message id="id-page5-details-write">
        <source>firmware.bin could not be written to the volume: %1</source>
        <translation>Impossible d'écrire firmware.bin sur le volume : %1</translation>
    </message>
    <message id="id-page5-details-sync">
        <source>firmware.bin could not be saved to the volume: %1</source>
        <translation>Impossible d'enregistrer firmware.bin sur le volume : %1</translation>
    </message>
    <message id="id-page5-details-verify">
        <source>The firmware.bin read back from the volume is not the packaged firmware.</source>
        <translation>Le firmware.bin relu sur le volume ne correspond pas au micrologiciel du paquet.</translation>
    </message>
    <message id="id-page5-copy-details">
        <source>Copy details</source>
        <translation>Copier les détails</translation>
    </message>
    <message id="id-page3-mount-failed">
        <source>The product was found, but its volume could not be mounted: %1</source>
        <translation>Le produit a été trouvé, mais son volume n’a pas pu être monté : %1</translation>
    </message>
    <message id="id-page5-safe-to-power-off">
        <source>Its volume has been unmounted: it is now safe to power %1 off.</source>
        <translation>Son volume a été démonté : vous pouvez maintenant éteindre %1 en toute sécurité.</translation>
    </message>
    <message id="id-page5-still-mounted">
        <source>The volume is still mounted (%1). Eject it in your file manager before powering the product off.</source>
        <translation>Le volume est encore monté (%1). Éjectez-le dans le gestionnaire de fichiers avant d’éteindre le produit.</translation>
    </message>
    <message id="id-page5-other-product">
        <source>Another %1 is connected; it was left as it was. Update it on its own.</source>
        <translation>Un autre %1 est connecté ; il n’a pas été modifié. Mettez-le à jour séparément.</translation>
    </message>
    <message id="id-page4-file-progress">
        <source>Written: %1 %, verified: %2 %</source>
        <translation>Écrit : %1 %, vérifié : %2 %</translation>
    </message>
    <message id="id-page4-close-refused">
        <source>The firmware is being written: the window closes once the update has ended.</source>
        <translation>Le micrologiciel est en cours d'écriture : la fenêtre pourra être fermée une fois la mise à jour terminée.</translation>
    </message>
    <message id="id-page5-update-running-error">
        <source>An update of %1 is already running. Nothing was changed; wait until it has ended.</source>
        <translation>Une mise à jour de %1 est déjà en cours. Rien n'a été modifié ; attendez qu'elle soit terminée.</translation>
    </message>
    <message id="id-page5-firmware-gone">
        <source>%1 now holds no firmware. Do not power it off: start the updater again with “Repair an interrupted update” (tarsel-updater --recover) to install it.</source>
        <translation>%1 ne contient plus de micrologiciel. Ne l'éteignez pas : relancez la mise à jour avec « Réparer une mise à jour interrompue » (tarsel-updater --recover) pour l'installer.</translation>
    </message>
    <message id="id-page5-details-rename">
        <source>The new firmware.bin could not be put in place on the volume: %1</source>
        <translation>Impossible de mettre le nouveau firmware.bin en place sur le volume : %1</translation>
    </message>
</context>
</TS>
