#include "CgiFirmware.h"

#include "CgiCamera.h"

TFirmwareCheck TCgiFirmware::CheckFile(const QString& fileName, TFirmwareKind) const
{
    return FirstBytes(fileName) ? TFirmwareCheck::kOk : TFirmwareCheck::kBadFile;
}

TFirmwareOutcome TCgiFirmware::Send(const TFirmwareJob& job)
{
    TCgiUploadControl control;
    control.abort = job.abort;
    if (job.progress) {
        control.progress = [&job](qint64 sent, qint64 total) {
            if (total > 0)
                job.progress({TFirmwareProgress::TStage::Sending, sent, total, -1});
        };
    }
    const QString base = BaseUrl(job.ip, job.port);
    const TDevInfo* cam = job.camera ? &*job.camera : nullptr;
    const bool ok =
        job.kind == TFirmwareKind::System
            ? driver_.UpgradeSystem(base, job.user, job.fileName, job.password, cam, control)
            : driver_.UpgradeWeb(base, job.user, job.fileName, job.password, cam, control);
    return {ok ? TFirmwareResult::kDone : TFirmwareResult::kFailed, false, QString()};
}
