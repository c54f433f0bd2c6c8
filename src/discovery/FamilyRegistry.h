#pragma once
// The camera families of a run, found by their code. The registry owns the families (and
// with them the family-9 driver and the family-4 library); the main window and the ipcam
// tool each make one at start and keep it for the whole run.

#include "CameraFamily.h"

#include <memory>
#include <vector>

class TFamilyRegistry {
public:
    TFamilyRegistry();
    ~TFamilyRegistry();
    TFamilyRegistry(const TFamilyRegistry&) = delete;
    TFamilyRegistry& operator=(const TFamilyRegistry&) = delete;

    // Families are kept in the order they are added, which is the order their probes go out
    // and their parsers are asked. A second family with the same code is refused.
    bool Add(std::unique_ptr<ICameraFamily> family);

    // The family of code; null when no family has that code.
    ICameraFamily* Find(qint32 code) const;
    // The same, but a family that is not registered gets the rules of an unknown family: no
    // probes, no commands, default traits, no series letter.
    ICameraFamily& Get(qint32 code) const;
    const TFamilyTraits& Traits(qint32 code) const { return Get(code).Traits(); }
    QString SeriesLetter(qint32 code) const { return Traits(code).series; }

    const std::vector<std::unique_ptr<ICameraFamily>>& All() const { return families_; }
    // Ends the search work of every family (threads, library searches).
    void StopSearches();

    // Asks the families in order until one recognises the datagram; true when rec (which
    // starts with Family -1) is to be merged. This is how the search engine reads every
    // datagram it receives. by receives the family that recognised it (null: none did).
    bool ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink,
                    const ICameraFamily** by = nullptr) const;

private:
    std::vector<std::unique_ptr<ICameraFamily>> families_;
    std::unique_ptr<ICameraFamily> unknown_;
};
