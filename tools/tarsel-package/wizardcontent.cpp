#include "wizardcontent.h"

QStringList wizardTextIds()
{
    return {
        QStringLiteral("id-application-title"),
        QStringLiteral("id-footer-updater-version"),
        QStringLiteral("id-footer-previousFW-version"),
        QStringLiteral("id-footer-newFW-version"),
        QStringLiteral("id-page1-title"),
        QStringLiteral("id-page1-description"),
        QStringLiteral("id-page1-next"),
        QStringLiteral("id-page2-title"),
        QStringLiteral("id-page2-description"),
        QStringLiteral("id-page2-back"),
        QStringLiteral("id-page2-next"),
        QStringLiteral("id-page3-title"),
        QStringLiteral("id-page3-description"),
        QStringLiteral("id-page4-title"),
        QStringLiteral("id-page4-description"),
        QStringLiteral("id-page5-title-successful"),
        QStringLiteral("id-page5-title-uptodate"),
        QStringLiteral("id-page5-title-failed"),
        QStringLiteral("id-page5-noerror"),
        QStringLiteral("id-page5-find-device-error"),
        QStringLiteral("id-page5-check-firmware-error"),
        QStringLiteral("id-page5-bad-hw-error"),
        QStringLiteral("id-page5-same-fw-error"),
        QStringLiteral("id-page5-update-firmware-error"),
        QStringLiteral("id-page5-quit"),
        // What the screen reader reads, page 3's waiting line and page 5's details: a package
        // without them shows the ids themselves there.
        QStringLiteral("id-page1-image"),
        QStringLiteral("id-page1-image-detail"),
        QStringLiteral("id-page2-image"),
        QStringLiteral("id-page2-image-detail"),
        QStringLiteral("id-page3-image"),
        QStringLiteral("id-page3-image-detail"),
        QStringLiteral("id-page3-waiting"),
        QStringLiteral("id-page3-searching"),
        QStringLiteral("id-page4-image"),
        QStringLiteral("id-page4-progress-value"),
        QStringLiteral("id-page5-image-success"),
        QStringLiteral("id-page5-image-failure"),
        QStringLiteral("id-page5-image-uptodate"),
        QStringLiteral("id-page5-copy-details"),
        QStringLiteral("id-page5-details-search-failed"),
        QStringLiteral("id-page5-details-search-timeout"),
        QStringLiteral("id-page5-details-package-unreadable"),
        QStringLiteral("id-page5-details-package-damaged"),
        QStringLiteral("id-page5-details-firmware-missing"),
        QStringLiteral("id-page5-details-firmware-untagged"),
        QStringLiteral("id-page5-details-other-hardware"),
        QStringLiteral("id-page5-details-volume-changed"),
        QStringLiteral("id-page5-details-no-room"),
        QStringLiteral("id-page5-details-remove"),
        QStringLiteral("id-page5-details-create"),
        QStringLiteral("id-page5-details-write"),
        QStringLiteral("id-page5-details-sync"),
        QStringLiteral("id-page5-details-verify"),
    };
}

QStringList wizardImageNames()
{
    return {
        QStringLiteral("page1_general_view.png"),
        QStringLiteral("page1_detail_view.png"),
        QStringLiteral("page2_general_view.png"),
        QStringLiteral("page2_detail_view.png"),
        QStringLiteral("page3_general_view.png"),
        QStringLiteral("page3_detail_view.png"),
        QStringLiteral("page4_general_view.png"),
        QStringLiteral("page5_success_general_view.png"),
        QStringLiteral("page5_failure_general_view.png"),
        QStringLiteral("page5_uptodate_general_view.png"),
    };
}
