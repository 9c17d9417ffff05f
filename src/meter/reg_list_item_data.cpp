#include "reg_list_item_data.h"

#include "value_text.h"

namespace {

const char kBadNumber[] = "text does not convert to a number";

template <class Codec>
void FillWriteRequest(ModBusRequest& request, const RegListItemData& row, const Codec& codec)
{
    request.Build(16, static_cast<std::uint16_t>(row.RegAddress - 1), row.RegCount);
    request << codec;
}

std::int32_t ParseIntOrThrow(const std::string& text)
{
    const auto v = ParseInt32(text);
    if (!v)
        throw ConversionError(kBadNumber);
    return *v;
}

} // namespace

const char* RegKindTypeWord(RegKind kind)
{
    switch (kind) {
    case rkUShort: return "ushort";
    case rkShort: return "short";
    case rkFloat: return "float";
    case rkLong: return "long";
    }
    return "";
}

std::uint16_t RegKindCount(RegKind kind)
{
    return kind == rkFloat || kind == rkLong ? 2 : 1;
}

std::string FloatRegListItemData::GetValueText() const
{
    return FormatListFloat(Get());
}

void FloatRegListItemData::BuildWriteRequest(ModBusRequest& request, const std::string& text)
{
    const auto v = ParseFloat(text);
    if (!v)
        throw ConversionError(kBadNumber);
    Set(*v);
    FillWriteRequest(request, *this, static_cast<const ModBusFloatReg&>(*this));
}

std::string SIntRegListItemData::GetValueText() const
{
    return std::to_string(Get());
}

void SIntRegListItemData::BuildWriteRequest(ModBusRequest& request, const std::string& text)
{
    const std::int32_t v = ParseIntOrThrow(text);
    Set(static_cast<short>(static_cast<std::uint16_t>(v)));
    FillWriteRequest(request, *this, static_cast<const ModBusShortReg&>(*this));
}

std::string UIntRegListItemData::GetValueText() const
{
    return std::to_string(Get());
}

void UIntRegListItemData::BuildWriteRequest(ModBusRequest& request, const std::string& text)
{
    const std::int32_t v = ParseIntOrThrow(text);
    Set(static_cast<unsigned short>(v));
    FillWriteRequest(request, *this, static_cast<const ModBusUShortReg&>(*this));
}

std::string LongRegListItemData::GetValueText() const
{
    return std::to_string(static_cast<std::uint64_t>(Get()));
}

void LongRegListItemData::BuildWriteRequest(ModBusRequest& request, const std::string& text)
{
    const std::int32_t v = ParseIntOrThrow(text);
    Set(static_cast<std::uint32_t>(v));
    FillWriteRequest(request, *this, static_cast<const ModBusULongReg&>(*this));
}

void AddRegListRow(RegListItemData& data, RegListItems& items, const std::string& caption,
                   std::uint16_t address, RegKind kind, int writable)
{
    data.RegAddress = address;
    data.RegCount = RegKindCount(kind);
    data.Writable = writable;
    std::vector<std::string> texts{caption, std::to_string(address), RegKindTypeWord(kind),
                                   data.GetValueText()};
    if (writable != 0)
        texts.emplace_back("+");
    data.ListItem = items.AddRow(texts, data);
}
