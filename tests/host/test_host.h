/*
 * The test host: the functions a host process offers the driver by name
 * (library paths, alarm-clock hooks, result release), with switches and a
 * trace so that tests can steer and observe them.  Built in variants that
 * leave functions out (TEST_HOST_WITHOUT_*), for hosts that lack them.
 */
#ifndef VELDLDAP_TEST_HOST_H
#define VELDLDAP_TEST_HOST_H

#include <string>
#include <vector>

#include "veldldap/dspublic.h"

namespace testhost {

// Directory whose "lib3p64" subdirectory com_path_anyfile points into.
void set_install_dir(const std::string &directory);
// Makes com_path_anyfile answer CS_FAIL (a broken installation).
void set_path_failure(bool fail);
int path_calls();

// Ordered events: "halt", "restart", and whatever else is recorded (the
// scripted LDAP library records its calls here too).
void record(const std::string &event);
std::vector<std::string> events();
void clear_events();

int result_drops();

// Makes the alarm-clock hooks leave this errno behind (0: they leave it alone).
void set_hook_errno(int error_number);

}  // namespace testhost

extern "C" void testhost_record(const char *event);

#endif
