/*
 * The exit codes of veldir, one meaning each, so that scripts can tell a
 * refused operation from a broken configuration without reading messages.
 * The manual page and the README list the same table.
 */
#ifndef VELDIR_EXIT_CODES_H
#define VELDIR_EXIT_CODES_H

enum ExitCode : int {
    kExitOk = 0,
    kExitOperationFailed = 1,  // the directory said no, or the entry is not there
    kExitUsage = 2,            // bad command line or bad input file
    kExitConfiguration = 3,    // configuration, driver or connection problem
    kExitInternal = 4,         // out of memory, broken invariant, driver misbehaving
    kExitDeadline = 5,         // the --deadline passed
};

#endif
