#include "poll_record.h"

std::vector<std::string> PollRecordCaptions(MeterRegisters& registers)
{
    std::vector<std::string> captions;
    for (const RegRow& row : RegRows(registers))
        captions.emplace_back(row.caption);
    captions.emplace_back("Значение параметра");
    return captions;
}

std::vector<std::string> PollRecordValues(MeterRegisters& registers, const std::string& parameterText)
{
    std::vector<std::string> values;
    for (const RegRow& row : RegRows(registers))
        values.push_back(row.object->GetValueText());
    values.push_back(parameterText);
    return values;
}
