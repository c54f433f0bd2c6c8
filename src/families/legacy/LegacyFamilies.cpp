#include "LegacyFamilies.h"

namespace Legacy {

QByteArray Sq610Probe()
{
    static constexpr quint8 kItems[][2] = {
        {0x10, 6},  {0x20, 16}, {0x21, 16}, {0x11, 4},  {0x12, 4},  {0x13, 4},  {0x14, 4},
        {0x1F, 4},  {0x22, 16}, {0x23, 16}, {0x24, 4},  {0x28, 4},  {0x25, 30}, {0x26, 1},
    };
    QByteArray p = QByteArrayLiteral("SQ610");
    for (const auto& item : kItems) {
        p.append(char(item[0]));
        p.append(char(item[1]));
        p.append(QByteArray(item[1], '\0'));
    }
    p.append(QByteArray(256 - p.size(), '\0'));
    return p;
}

QByteArray ImagiaProbe()
{
    return QByteArrayLiteral("IMAGIAQUERY,0");
}

bool ImagiaProbeDue(int tick)
{
    return tick % 3 == 0;
}

QByteArray UicamProbe()
{
    return QByteArrayLiteral("uicam query");
}

}  // namespace Legacy

namespace {

struct TProbe {
    int socket = 0;  // none
    quint16 port = 0;
    QByteArray bytes;
    bool (*due)(int tick) = nullptr;  // every pass when null
};

class TLegacyFamily final : public ICameraFamily {
public:
    TLegacyFamily(qint32 code, TFamilyTraits traits, TProbe probe = {})
        : code_(code), traits_(std::move(traits)), probe_(std::move(probe))
    {
    }
    qint32 Code() const override { return code_; }
    const TFamilyTraits& Traits() const override { return traits_; }
    void SendProbes(ISearchSink& sink, int tick, bool /*withLibrary*/) override
    {
        if (probe_.socket == 0 || (probe_.due && !probe_.due(tick)))
            return;
        sink.SendBroadcast(probe_.socket, probe_.bytes, probe_.port);
    }

private:
    qint32 code_;
    TFamilyTraits traits_;
    TProbe probe_;
};

TFamilyTraits Letter(const char* series, bool nameEditable = true, bool offersPppoe = true)
{
    TFamilyTraits t;
    t.series = QString::fromLatin1(series);
    t.nameEditable = nameEditable;
    t.offersPppoe = offersPppoe;
    return t;
}

}  // namespace

std::unique_ptr<ICameraFamily> MakeImagiaFamily()
{
    return std::make_unique<TLegacyFamily>(
        1, Letter("M"), TProbe{1, Legacy::kImagiaPort, Legacy::ImagiaProbe(), &Legacy::ImagiaProbeDue});
}

std::unique_ptr<ICameraFamily> MakeSq610Family()
{
    return std::make_unique<TLegacyFamily>(0, Letter("E"), TProbe{1, Legacy::kSq610Port, Legacy::Sq610Probe()});
}

std::unique_ptr<ICameraFamily> MakeUicamFamily()
{
    return std::make_unique<TLegacyFamily>(3, Letter("F1", false, false),
                                           TProbe{3, Legacy::kUicamPort, Legacy::UicamProbe()});
}

std::vector<std::unique_ptr<ICameraFamily>> MakeLetterOnlyFamilies()
{
    std::vector<std::unique_ptr<ICameraFamily>> out;
    out.push_back(std::make_unique<TLegacyFamily>(6, Letter("V", false, false)));
    out.push_back(std::make_unique<TLegacyFamily>(7, Letter("F2")));
    out.push_back(std::make_unique<TLegacyFamily>(999, Letter("NAS")));
    return out;
}
