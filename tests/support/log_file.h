/*
 * Reading the driver's diagnostic log back: the messages without their line
 * prefixes, so that tests check what was said, not on which source line.
 */
#ifndef VELDLDAP_LOG_FILE_H
#define VELDLDAP_LOG_FILE_H

#include <string>
#include <vector>

std::string log_text();
std::vector<std::string> log_messages();
// Messages from the first one equal to `marker` (e.g. "!gdd_bind!\n") on.
std::vector<std::string> log_messages_from(const std::string &marker);
// Messages after the first `count`: what was logged since there were `count`.
std::vector<std::string> log_messages_after(std::size_t count);
bool log_contains(const std::string &message);
int log_count(const std::string &message);

#endif
