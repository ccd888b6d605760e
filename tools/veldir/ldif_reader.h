/*
 * Reading LDIF (RFC 2849) entry records one at a time from a stream, so an
 * import file of any size is read in constant memory.  Each attribute line
 * keeps its own line number for the check pass's problems.  libldap's
 * ldif_parse_line2 splits "type: value" and decodes base64; the records
 * themselves are cut here, not with ldif_read_record, because that routine
 * gives only one line number per record, drops the comments that mark cut
 * values (ldif.h), stops a line at a NUL byte without a word, and follows
 * "include:" lines to other files.  Values given by URL (":<") are refused
 * before libldap would fetch them.
 */
#ifndef VELDIR_LDIF_READER_H
#define VELDIR_LDIF_READER_H

#include <istream>
#include <string>
#include <vector>

struct LdifProblem {
    int line = 0;
    std::string message;
};

struct LdifAttribute {
    int line = 0;
    std::string name;
    std::string value;
    bool cut = false;  // marked as cut by the driver when it was exported
};

struct LdifRecord {
    int line = 0;  // of its dn: line
    std::string dn;
    std::vector<LdifAttribute> attributes;  // in file order; objectClass and changetype: add left out
    std::vector<LdifProblem> problems;      // a record with problems is still returned, to be counted
};

class LdifReader {
public:
    explicit LdifReader(std::istream &in) : in_(in) {}

    // The next record; false at the end of the file.
    bool next(LdifRecord &record);

private:
    struct Line {
        int number = 0;
        std::string text;
        bool cut = false;
    };

    // The logical lines of the next record: folded lines joined, comments dropped.
    bool next_lines(std::vector<Line> &lines);
    // False when the rest of the record cannot be read as its attributes.
    bool take_line(const Line &line, bool first, LdifRecord &record);

    std::istream &in_;
    int number_ = 0;
    bool first_record_ = true;
};

#endif
