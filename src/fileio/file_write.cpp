#include "file_write.h"

#include "file_access.h"

bool ReplaceFileContents(const std::string& path, std::string_view contents, std::string& error)
{
    if (const int code = ReplaceFile(path, contents)) {
        error = SystemErrorText(code);
        return false;
    }
    return true;
}
