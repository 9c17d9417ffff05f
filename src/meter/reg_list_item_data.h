#pragma once
// Row-data objects: each is the codec of one meter register and the model of
// one row of the register list.

#include "codecs.h"
#include "pdu.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

enum RegKind : int { rkUShort = 0, rkShort = 1, rkFloat = 2, rkLong = 3 };

// "ushort", "short", "float", "long"
const char* RegKindTypeWord(RegKind kind);
// 1 for the 16-bit kinds, 2 for the 32-bit kinds
std::uint16_t RegKindCount(RegKind kind);

// Raised by BuildWriteRequest for a text that does not convert.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RegListItemData {
public:
    std::uint16_t RegAddress = 0; // register number shown in the list (protocol address + 1)
    std::uint16_t RegCount = 0;   // registers the value spans
    std::int32_t Writable = 0;    // 1 when the user may write it
    int ListItem = -1;            // index of the list row that shows it; -1 without a row

    virtual std::string GetValueText() const = 0;
    // Parses `text` into the value and fills `request` with a function 16
    // write of this register at the request's current value offset. Throws
    // ConversionError and changes nothing when the text does not convert.
    virtual void BuildWriteRequest(ModBusRequest& request, const std::string& text) = 0;

protected:
    RegListItemData() = default;
    RegListItemData(const RegListItemData&) = default;
    RegListItemData& operator=(const RegListItemData&) = default;
    ~RegListItemData() = default;
};

class FloatRegListItemData : public RegListItemData, public ModBusFloatReg {
public:
    std::string GetValueText() const override;
    void BuildWriteRequest(ModBusRequest& request, const std::string& text) override;
};

class SIntRegListItemData : public RegListItemData, public ModBusShortReg {
public:
    std::string GetValueText() const override;
    void BuildWriteRequest(ModBusRequest& request, const std::string& text) override;
};

class UIntRegListItemData : public RegListItemData, public ModBusUShortReg {
public:
    std::string GetValueText() const override;
    void BuildWriteRequest(ModBusRequest& request, const std::string& text) override;
};

class LongRegListItemData : public RegListItemData, public ModBusULongReg {
public:
    std::string GetValueText() const override;
    void BuildWriteRequest(ModBusRequest& request, const std::string& text) override;
};

// The list that rows are appended to; the window implements it with its
// list view, tests and the command-line tool with plain containers.
class RegListItems {
public:
    // Appends a row with the given texts (caption, address, type word, value
    // and, for a writable row, "+") and returns its index.
    virtual int AddRow(const std::vector<std::string>& texts, RegListItemData& data) = 0;

protected:
    ~RegListItems() = default;
};

// Sets the object's row fields and appends its row to `items`.
void AddRegListRow(RegListItemData& data, RegListItems& items, const std::string& caption,
                   std::uint16_t address, RegKind kind, int writable);
