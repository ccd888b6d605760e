#include "import_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string system_error(const std::string &what) { return what + ": " + std::strerror(errno); }

// Copies `from` to a temporary file that has no name; its descriptor, or -1.
int spool(int from, std::string &error) {
    const char *directory = std::getenv("TMPDIR");
    std::string name = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") + "/veldir-import-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = system_error("cannot create a temporary copy in " + name.substr(0, name.rfind('/')));
        return -1;
    }
    ::unlink(name.c_str());
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got == 0) return fd;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = system_error("cannot read");
            break;
        }
        if (::write(fd, buffer, static_cast<std::size_t>(got)) != got) {
            error = system_error("cannot copy it to a temporary file");
            break;
        }
    }
    ::close(fd);
    return -1;
}

// The first non-blank character decides.
ImportFormat format_of(std::istream &in) {
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
        return c == '{' || c == '[' ? ImportFormat::json : ImportFormat::ldif;
    }
    return ImportFormat::ldif;
}

}  // namespace

std::unique_ptr<ImportFile> ImportFile::open(const std::string &path, std::string &error) {
    const bool standard_input = path == "-";
    const int fd = standard_input ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno == ENOENT ? path + " does not exist" : system_error("cannot read " + path);
        return nullptr;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? path + " is a directory, not a file" : system_error("cannot read " + path);
        ::close(fd);
        return nullptr;
    }
    int readable = fd;
    if (!S_ISREG(status.st_mode)) {
        readable = spool(fd, error);
        ::close(fd);
        if (readable < 0) {
            error = (standard_input ? "standard input" : path) + ": " + error;
            return nullptr;
        }
    }
    std::unique_ptr<ImportFile> file(new ImportFile(path, readable));
    std::unique_ptr<std::istream> first = file->read();
    if (!*first) {
        error = system_error("cannot read " + path);
        return nullptr;
    }
    file->format_ = format_of(*first);
    if (first->bad()) {
        error = "cannot read " + path + ": a read error";
        return nullptr;
    }
    return file;
}

ImportFile::~ImportFile() { ::close(fd_); }

std::unique_ptr<std::istream> ImportFile::read() const {
    // A new open file description of the same file: its own offset, from the start.
    auto in = std::make_unique<std::ifstream>("/proc/self/fd/" + std::to_string(fd_), std::ios::binary);
    char mark[3] = {};
    in->read(mark, sizeof mark);
    if (in->gcount() != 3 || std::string_view(mark, 3) != kByteOrderMark) {
        in->clear();
        in->seekg(0);
    }
    return in;
}

std::string_view format_name(ImportFormat format) { return format == ImportFormat::json ? "JSON" : "LDIF"; }
