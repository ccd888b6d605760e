/*
 * The file an import reads, twice: once to check every entry, once to send
 * them.  Both passes read the same open file from its start, so a file
 * renamed or replaced in between does not change what is sent.  What cannot
 * be read twice (standard input, a pipe) is first copied to a temporary file
 * that is unlinked at once: the copy costs disk, not memory, and nothing is
 * left behind however veldir ends.  A UTF-8 byte-order mark at the start is
 * passed over.  The format is told from the content: JSON when the first
 * non-blank character is { or [, LDIF otherwise.
 */
#ifndef VELDIR_IMPORT_FILE_H
#define VELDIR_IMPORT_FILE_H

#include <istream>
#include <memory>
#include <string>

enum class ImportFormat { ldif, json };

class ImportFile {
public:
    // Opens FILE ("-": standard input); nullptr and `error` (naming the file)
    // when it is missing, a directory or unreadable.
    static std::unique_ptr<ImportFile> open(const std::string &path, std::string &error);
    ~ImportFile();
    ImportFile(const ImportFile &) = delete;
    ImportFile &operator=(const ImportFile &) = delete;

    // A new reading from the start, past a byte-order mark.
    std::unique_ptr<std::istream> read() const;

    const std::string &path() const { return path_; }
    ImportFormat format() const { return format_; }

private:
    ImportFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}

    std::string path_;
    int fd_;
    ImportFormat format_ = ImportFormat::ldif;
};

std::string_view format_name(ImportFormat format);

#endif
