// libFuzzer target: any bytes as a plug-in's reply, through ParseRouterXml, the merge, the XML
// written back and the verification. What we write must always read back as the same table.
// Run by scripts/fuzz (fuzz_parse_router_xml).

#include "PortMapping.h"

#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_parse_router_xml";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    // Exactly size bytes, so that a read past the end is seen by AddressSanitizer.
    std::unique_ptr<char[]> copy(new char[size ? size : 1]);
    std::copy(data, data + size, copy.get());
    const QByteArray reply = QByteArray::fromRawData(copy.get(), qsizetype(size));

    TPortMapping pm;
    pm.AddMapping(QStringLiteral("192.168.1.20"), QStringLiteral("81"), QStringLiteral("TCP"));
    pm.AddMapping(QStringLiteral("192.168.1.20"), QStringLiteral("554"), QStringLiteral("TCP"));
    if (!pm.ParseRouterXml(reply))
        return 0;
    if (pm.FindConflicts())
        pm.ReplaceConflicts();
    pm.MergeNeeded();
    const QByteArray sent = pm.BuildRouterXml();
    if (sent.isEmpty())
        return 0;
    TPortMapping back;
    if (!back.ParseRouterXml(sent) || back.dsRouter.ShownCount() != pm.dsRouter.ShownCount())
        std::abort();
    // Our own table always verifies against itself.
    if (!TPortMapping::VerifyResult(sent, sent))
        std::abort();
    TPortMapping::VerifyResult(sent, reply);
    return 0;
}
