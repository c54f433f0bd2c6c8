// libFuzzer target: any bytes as the arguments the family-4 library hands its search callback,
// through TFind_Hisi::RecordFromLibrary and the merge into the list. The texts come as the
// library could hand them: zero-terminated, or as long as the bound the callback reads up to
// and without a terminator; any of them may be null.
// Input: 21 bytes of numbers (web, data and further port, further value, DHCP flag: 32 bits
// each, little-endian; then a byte whose bits make texts null, bit 6 the MAC), 6 MAC bytes,
// then name, IP, mask, gateway, further address and DNS, separated by zero bytes.
// Run by scripts/fuzz (fuzz_hisi_record).

#include "DeviceList.h"
#include "FindHisi.h"
#include "NetAddress.h"
#include "TestFamilies.h"

#include <QCoreApplication>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// What the callback reads at most of each text.
constexpr size_t kNameBound = 256;
constexpr size_t kAddrBound = 64;

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

int Int32At(const uint8_t* p)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | p[i];
    return int(v);
}

// A text as the library holds it: exactly the bytes given plus a terminator, or bound bytes
// without one when the text is that long.
std::unique_ptr<char[]> LibraryText(const uint8_t* p, size_t n, size_t bound)
{
    const size_t kept = std::min(n, bound);
    const size_t room = kept < bound ? kept + 1 : bound;
    std::unique_ptr<char[]> text(new char[room]);
    std::memcpy(text.get(), p, kept);
    if (kept < bound)
        text[kept] = '\0';
    return text;
}

quint16 PortOf(int v)
{
    return v >= 0 && v <= 0xFFFF ? quint16(v) : quint16(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_hisi_record";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static TDeviceList list(&testsupport::Families());

    constexpr size_t kHead = 21;
    if (size < kHead + 6)
        return 0;
    const int webPort = Int32At(data), dataPort = Int32At(data + 4), extraPort = Int32At(data + 8);
    const int extraValue = Int32At(data + 12), dhcp = Int32At(data + 16);
    const uint8_t nulls = data[20];
    std::unique_ptr<unsigned char[]> mac(new unsigned char[6]);
    std::memcpy(mac.get(), data + kHead, 6);

    std::vector<std::unique_ptr<char[]>> texts;
    const size_t bounds[] = {kNameBound, kAddrBound, kAddrBound, kAddrBound, kAddrBound, kAddrBound};
    size_t at = kHead + 6;
    for (size_t i = 0; i < 6; ++i) {
        const uint8_t* start = data + std::min(at, size);
        const uint8_t* end = static_cast<const uint8_t*>(std::memchr(start, 0, size - std::min(at, size)));
        const size_t n = end ? size_t(end - start) : size - std::min(at, size);
        texts.push_back(nulls & (1u << i) ? nullptr : LibraryText(start, n, bounds[i]));
        at += n + 1;
    }
    const auto text = [&](size_t i) { return texts[i].get(); };

    const std::optional<TDevInfo> rec = TFind_Hisi::RecordFromLibrary(
        text(0), text(1), nulls & 0x40 ? nullptr : mac.get(), webPort, dataPort, text(2), text(3),
        text(4), text(5), extraPort, extraValue, dhcp);
    if (nulls & 0x40) {
        Check(!rec);
        return 0;
    }
    Check(rec && rec->Family == 4);
    // The address change sends the same MAC bytes back.
    const std::optional<QByteArray> back = HexToBytes(rec->Mac);
    Check(back && *back == QByteArray(reinterpret_cast<const char*>(mac.get()), 6));
    Check(rec->Mac.size() == 12 && rec->Mac == rec->Mac.toUpper());
    Check(rec->Name.size() <= qsizetype(kNameBound));
    for (const QString* s : {&rec->IP, &rec->Mask, &rec->Gateway, &rec->ExtraAddr, &rec->Dns1})
        Check(s->size() <= qsizetype(kAddrBound));
    Check(rec->HttpPort == PortOf(webPort) && rec->DataPort == PortOf(dataPort) &&
          rec->ExtraPort == PortOf(extraPort) && rec->ExtraValue == extraValue);
    Check(rec->AddrMode == (dhcp == 1 ? kAddrDhcp : kAddrStatic));
    if (!(nulls & 0x02))
        Check(rec->IP == QString::fromLatin1(text(1), qsizetype(strnlen(text(1), kAddrBound))));

    list.AddOrUpdateDevice(*rec);
    list.UpdateDeviceCount();
    Check(list.FindRecordByMac(rec->Mac) != nullptr);
    if (list.Count() > 500)
        list.ClearDevices();
    return 0;
}
