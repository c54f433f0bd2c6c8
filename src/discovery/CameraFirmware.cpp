#include "CameraFirmware.h"

#include "CameraFamily.h"

#include <QFile>
#include <QFileInfo>

std::optional<QByteArray> ICameraFirmware::FirstBytes(const QString& fileName, int size)
{
    // A folder opens on Linux but is no file to read from.
    if (fileName.isEmpty() || QFileInfo(fileName).isDir())
        return std::nullopt;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(size);
    if (bytes.size() != size)
        return std::nullopt;
    return bytes;
}

QString ICameraFirmware::BaseUrl(const QString& ip, qint32 port)
{
    QString url = QStringLiteral("http://") + ip;
    if (port != 80)
        url += QLatin1Char(':') + QString::number(port);
    return url;
}

TFirmwareOutcome UpgradeCamera(ICameraFamily& family, TFirmwareJob job)
{
    ICameraFirmware* firmware = family.Firmware();
    if (!firmware)
        return {TFirmwareResult::kUnsupported, false, QString()};
    const auto aborted = [&job] { return job.abort && job.abort->load(); };
    if (aborted())
        return {TFirmwareResult::kAborted, false, QString()};
    job.fileName = job.fileName.trimmed();
    switch (firmware->CheckFile(job.fileName, job.kind)) {
    case TFirmwareCheck::kOk:
        break;
    case TFirmwareCheck::kIgnored:
        return {TFirmwareResult::kIgnored, false, QString()};
    case TFirmwareCheck::kBadFile:
        return {TFirmwareResult::kBadFile, false, QString()};
    }
    if (job.progress)
        job.progress({TFirmwareProgress::TStage::Connecting, 0, 0, -1});
    TFirmwareOutcome outcome = firmware->Send(job);
    // A camera that took the file has it, however late the abort came; anything else that
    // ended while the flag was set ended because of it.
    if (outcome.result != TFirmwareResult::kDone && aborted())
        outcome = {TFirmwareResult::kAborted, false, QString()};
    return outcome;
}
