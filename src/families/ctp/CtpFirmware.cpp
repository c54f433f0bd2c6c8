#include "CtpFirmware.h"

#include <QFileInfo>

QString TCtpFirmware::ChooserFilter(const QString& filter) const
{
    QString f = filter;
    return f.replace(QLatin1String("bin"), QLatin1String("pk2"));
}

TFirmwareCheck TCtpFirmware::CheckFile(const QString& fileName, TFirmwareKind) const
{
    return !fileName.isEmpty() && QFileInfo(fileName).isFile() ? TFirmwareCheck::kOk
                                                               : TFirmwareCheck::kIgnored;
}

TFirmwareProgress TCtpFirmware::Progress(const TUploadProgress& p)
{
    using TStage = TFirmwareProgress::TStage;
    TFirmwareProgress out;
    out.bytesSent = p.bytesSent;
    out.bytesTotal = p.bytesTotal;
    out.secondsLeft = p.secondsLeft;
    switch (p.phase) {
    case TUploadPhase::LeaveCommandMode:
        out.stage = TStage::Connecting;
        out.secondsLeft = -1;
        break;
    case TUploadPhase::SendPackage:
        // Before its first bytes the upload connection is still to be made.
        out.stage = p.secondsLeft >= 0 ? TStage::WaitingForCamera
                    : p.bytesSent > 0  ? TStage::Sending
                                       : TStage::Connecting;
        break;
    case TUploadPhase::WaitForCamera:
        out.stage = TStage::WaitingForCamera;
        break;
    }
    return out;
}

TFirmwareOutcome TCtpFirmware::Send(const TFirmwareJob& job)
{
    TUploadOptions options;
    options.timing = timing_;
    options.abort = job.abort;
    if (job.progress)
        options.progress = [&job](const TUploadProgress& p) { job.progress(Progress(p)); };
    QString key;
    const bool back = UploadFirmware(job.fileName, job.ip, job.port, job.user, job.password, key, options);
    if (back)
        return {TFirmwareResult::kDone, true, QString()};
    return {TFirmwareResult::kFailed, false, key};
}
