#include "ann/RavoFile.h"
#include "ann/URavoAnn.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// ---- The operating system's calls, one small function each. ---------------

#if defined(_WIN32)

using TStatus = struct _stat64;

// UTF-8 to UTF-16; a name that is not UTF-8 names no file.
std::wstring Wide(const std::string& name) {
    if (name.empty()) return {};
    const int size = static_cast<int>(std::min<std::size_t>(name.size(), 0x7FFFFFFF));
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, nullptr, 0);
    if (length <= 0) throw ERavoFileError("ファイル名が UTF-8 の文字列ではありません: " + name);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size, wide.data(), length);
    return wide;
}

// The system's own text for an error code (Japanese on a Japanese Windows), as UTF-8.
std::string SystemErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string utf8;
    if (length > 0) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(size > 0 ? size : 0));
        if (size > 0)
            ::WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), size, nullptr, nullptr);
    }
    if (text) ::LocalFree(text);
    while (!utf8.empty() && (utf8.back() == '\n' || utf8.back() == '\r' || utf8.back() == ' ')) utf8.pop_back();
    return utf8.empty() ? "Windows エラー " + std::to_string(code) : utf8;
}

int StatusOf(const std::string& name, TStatus& status) { return ::_wstat64(Wide(name).c_str(), &status); }
int StatusOf(int fd, TStatus& status) { return ::_fstat64(fd, &status); }
int OpenForReading(const std::string& name) { return ::_wopen(Wide(name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT); }
int CreateNew(const std::string& name) {
    return ::_wopen(Wide(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
// At most 1 GiB per call: the count is an unsigned int.
long long ReadSome(int fd, unsigned char* to, std::size_t n) {
    return ::_read(fd, to, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
long long WriteSome(int fd, const unsigned char* from, std::size_t n) {
    return ::_write(fd, from, static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30)));
}
int FlushToDisk(int fd) { return ::_commit(fd); }
int Close(int fd) { return ::_close(fd); }
void Remove(const std::string& name) { ::_wunlink(Wide(name).c_str()); }
int ProcessId() { return ::_getpid(); }
// Empty when done, else the reason.  Windows' rename never replaces a file.
std::string MoveReplacing(const std::string& from, const std::string& to) {
    if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return SystemErrorText(::GetLastError());
}
bool IsRegular(const TStatus& s) { return (s.st_mode & _S_IFMT) == _S_IFREG; }
const char* KindOf(const TStatus& s) {
    switch (s.st_mode & _S_IFMT) {
    case _S_IFDIR: return "フォルダ";
    case _S_IFCHR: return "デバイス";
    case _S_IFIFO: return "パイプ";
    default: return "特殊なファイル";
    }
}

#else

using TStatus = struct stat;

int StatusOf(const std::string& name, TStatus& status) { return ::stat(name.c_str(), &status); }
int StatusOf(int fd, TStatus& status) { return ::fstat(fd, &status); }
// Non-blocking: opening a named pipe would otherwise wait for a writer.
int OpenForReading(const std::string& name) { return ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); }
int CreateNew(const std::string& name) { return ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }
long long ReadSome(int fd, unsigned char* to, std::size_t n) { return ::read(fd, to, n); }
long long WriteSome(int fd, const unsigned char* from, std::size_t n) { return ::write(fd, from, n); }
int FlushToDisk(int fd) { return ::fsync(fd); }
int Close(int fd) { return ::close(fd); }
void Remove(const std::string& name) { ::unlink(name.c_str()); }
int ProcessId() { return static_cast<int>(::getpid()); }
std::string MoveReplacing(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) == 0) return {};
    return std::strerror(errno);
}
bool IsRegular(const TStatus& s) { return S_ISREG(s.st_mode); }
const char* KindOf(const TStatus& s) {
    if (S_ISDIR(s.st_mode)) return "フォルダ";
    if (S_ISCHR(s.st_mode) || S_ISBLK(s.st_mode)) return "デバイス";
    if (S_ISFIFO(s.st_mode)) return "名前付きパイプ";
    if (S_ISSOCK(s.st_mode)) return "ソケット";
    return "特殊なファイル";
}

#endif

std::string ErrnoText() { return std::strerror(errno); }

ERavoFileError NotRegular(const std::string& name, const TStatus& status) {
    return ERavoFileError(std::string("モデルファイルが通常のファイルではありません（") + KindOf(status) + "）: " + name);
}

}  // namespace

// ---- Reading. -------------------------------------------------------------

TRavoInputFile::TRavoInputFile(const std::string& FileName) : fName(FileName) {
    TStatus status{};
    if (StatusOf(fName, status) != 0)
        throw ERavoFileError("モデルファイルを開けません: " + fName + " (" + ErrnoText() + ")");
    if (!IsRegular(status)) throw NotRegular(fName, status);
    fFd = OpenForReading(fName);
    if (fFd < 0) throw ERavoFileError("モデルファイルを開けません: " + fName + " (" + ErrnoText() + ")");
    // The name may have been given to something else between the two looks.
    if (StatusOf(fFd, status) != 0 || !IsRegular(status) || status.st_size < 0) {
        const ERavoFileError error = IsRegular(status) ? ERavoFileError("モデルファイルを読み込めません: " + fName)
                                                       : NotRegular(fName, status);
        Close(fFd);
        throw error;
    }
    fSize = static_cast<std::uint64_t>(status.st_size);
}

TRavoInputFile::~TRavoInputFile() {
    if (fFd >= 0) Close(fFd);
}

void TRavoInputFile::Read(unsigned char* To, std::size_t Count) {
    std::size_t done = 0;
    while (done < Count) {
        const long long n = ReadSome(fFd, To + done, Count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw ERavoFileError("モデルファイルを読み込めません: " + fName);
        done += static_cast<std::size_t>(n);
    }
}

// ---- Writing. -------------------------------------------------------------

void RavoWriteFileReplacing(const std::string& Target, const std::vector<unsigned char>& Bytes) {
    static unsigned serial = 0;
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = Target + ".tmp" + std::to_string(ProcessId()) + "-" + std::to_string(++serial);
        fd = CreateNew(temp);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) throw ERavoFileError("モデルファイルを作成できません: " + Target + " (" + ErrnoText() + ")");
    auto fail = [&](const char* what, const std::string& reason) {
        if (fd >= 0) Close(fd);
        Remove(temp);
        throw ERavoFileError(std::string(what) + Target + " (" + reason + ")");
    };
    std::size_t done = 0;
    while (done < Bytes.size()) {
        const long long n = WriteSome(fd, Bytes.data() + done, Bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("モデルファイルに書き込めません: ", ErrnoText());
        done += static_cast<std::size_t>(n);
    }
    if (FlushToDisk(fd) != 0) fail("モデルファイルに書き込めません: ", ErrnoText());
    const int closed = Close(fd);
    fd = -1;
    if (closed != 0) fail("モデルファイルに書き込めません: ", ErrnoText());
    const std::string moveError = MoveReplacing(temp, Target);
    if (!moveError.empty()) fail("モデルファイルを置き換えられません: ", moveError);
}
