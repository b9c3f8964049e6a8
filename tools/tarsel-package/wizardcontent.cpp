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
