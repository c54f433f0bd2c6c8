// libFuzzer target: any bytes through the reply parsers and the merge into the list.
// Run by scripts/fuzz (fuzz_parse_reply), inside a private network namespace, or by hand:
//   scripts/netns-run build-fuzz/tests/discovery/fuzz_parse_reply tests/discovery/fuzz-corpus

#include "DeviceList.h"
#include "DiscoveryEngine.h"
#include "FakeSearchSink.h"

#include <QCoreApplication>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_parse_reply";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static TDeviceList list(&testsupport::Families());

    // Exactly size bytes, so that a read past the end is seen by AddressSanitizer.
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    std::copy(data, data + size, copy.get());
    const QByteArray dgram = QByteArray::fromRawData(copy.get(), qsizetype(size));

    TDevInfo rec;
    rec.Family = -1;
    QByteArray followUp;
    if (ParseReply(dgram.left(DiscoveryNet::kReceiveBufferSize), rec, &list, &followUp))
        list.AddOrUpdateDevice(rec);
    if (!followUp.isEmpty() && followUp.size() != 136)
        __builtin_trap();
    if (list.Count() > 500)
        list.ClearDevices();
    else if (size % 7 == 0)
        list.ExpireTick();
    return 0;
}
