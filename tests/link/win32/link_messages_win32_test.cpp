// The link's messages under Windows, where a failure's system code is a
// Win32 error: its words are the system's for that error, not the C
// library's words for the errno of the same number.

#include "file_access.h"
#include "link_messages.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Win32LinkMessages, AnOpenFailureTellsTheSystemsReasonInWindowsWords)
{
    // ERROR_GEN_FAILURE (errno 31 is EMLINK), ERROR_SEM_TIMEOUT (no errno).
    for (const int code : {31, 121}) {
        SCOPED_TRACE(code);
        const std::string windowsWords = SystemErrorText(code);
        const std::string cLibraryWords = std::strerror(code);
        ASSERT_NE(windowsWords, cLibraryWords);
        const std::string message = OpenFailureMessage({PortOpenError::Failed, code}, "COM3", 115200);
        EXPECT_NE(message.find("Системная ошибка: " + windowsWords), std::string::npos) << message;
        EXPECT_EQ(message.find(cLibraryWords), std::string::npos) << message;
    }
}
