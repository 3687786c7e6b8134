// RavoFile: the model file's few operations on the operating system, the same
// on POSIX systems and on Windows.  File names are UTF-8 text (on Windows
// turned into UTF-16 for the wide API, so that any name works whatever the
// system's code page).  Bytes are written and read as they are, never as text.
// Every failure is an ERavoFileError whose Japanese message names the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A regular file open for reading.  Anything else (a folder, a named pipe, a
// device) is refused from its status before it is opened, and opening never
// waits.
class TRavoInputFile {
public:
    explicit TRavoInputFile(const std::string& FileName);
    ~TRavoInputFile();
    TRavoInputFile(const TRavoInputFile&) = delete;
    TRavoInputFile& operator=(const TRavoInputFile&) = delete;

    // The file's size when it was opened.
    std::uint64_t Size() const { return fSize; }
    // The next Count bytes, or a file error when the file ends before them.
    void Read(unsigned char* To, std::size_t Count);

private:
    std::string fName;
    int fFd = -1;
    std::uint64_t fSize = 0;
};

// Writes Bytes to a new file beside Target, flushes it to the disk and puts it
// in Target's place in one step: Target is either its former self or the
// complete new file, and no temporary file stays behind.
void RavoWriteFileReplacing(const std::string& Target, const std::vector<unsigned char>& Bytes);
