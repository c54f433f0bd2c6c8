#pragma once
// Family 5's firmware upgrade: the package upload of src/ctp (UploadFirmware) on the camera's
// device port, which ends only when the restarted camera accepts connections again.

#include "CameraFirmware.h"
#include "FirmwareUpload.h"

class TCtpFirmware final : public ICameraFirmware {
public:
    // Packages have the extension "pk2": every "bin" of the filter becomes "pk2".
    QString ChooserFilter(const QString& filter) const override;
    // A name that is no file is ignored; the package itself is judged by the upload.
    TFirmwareCheck CheckFile(const QString& fileName, TFirmwareKind kind) const override;
    // The kind plays no part: a package says what it holds. A failure of the first phase
    // gives its message key as detailKey.
    TFirmwareOutcome Send(const TFirmwareJob& job) override;

    // The fixed waits of the upload (the program keeps the defaults; tests shorten them).
    void SetTiming(const TUploadTiming& timing) { timing_ = timing; }
    const TUploadTiming& Timing() const { return timing_; }

    // An upload progress report as the windows show it: the fixed waits of the package phase
    // (the camera switching modes, taking what it got) and of the restart are waits for the
    // camera; the package phase is connecting until its first bytes are taken, then sending.
    static TFirmwareProgress Progress(const TUploadProgress& p);

private:
    TUploadTiming timing_;
};
