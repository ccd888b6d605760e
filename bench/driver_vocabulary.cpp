#include "driver_vocabulary.h"

#include "ldap_schema.h"

char **requested_attribute_list() { return const_cast<char **>(velmor_attributes.data()); }

const char *servername_oid() { return kServernameOid; }
