/* Compiled as C: the host records must stay C-clean and keep the natural
   x86_64 layout a C host expects. */
#include <stddef.h>

#include "veldldap/dspublic.h"

#define LAYOUT(type, field, offset) _Static_assert(offsetof(type, field) == (offset), #type "." #field)
#define SIZE(type, size) _Static_assert(sizeof(type) == (size), "sizeof " #type)

LAYOUT(DCL_OID, dcl_oidlen, 0);
LAYOUT(DCL_OID, dcl_oidp, 8);
SIZE(DCL_OID, 16);
LAYOUT(DCL_STRING, dcl_stringp, 8);
SIZE(DCL_STRING, 16);
LAYOUT(DCL_TRANADDR, dcl_accesstype, 64);
LAYOUT(DCL_TRANADDR, dcl_tranaddress, 68);
SIZE(DCL_TRANADDR, 580);
SIZE(DCL_ATTRVALUE, 584);
LAYOUT(DCL_ATTRIBUTE, dcl_attrmod, 16);
LAYOUT(DCL_ATTRIBUTE, dcl_attrsyntax, 20);
LAYOUT(DCL_ATTRIBUTE, dcl_numvalues, 24);
LAYOUT(DCL_ATTRIBUTE, dcl_attrvalues, 32);
SIZE(DCL_ATTRIBUTE, 40);
LAYOUT(DCL_ATTRLIST, dcl_attribute, 8);
SIZE(DCL_ATTRLIST, 16);
LAYOUT(DCL_OBJECT, dcl_dist_name, 16);
LAYOUT(DCL_OBJECT, dcl_attrlist, 32);
SIZE(DCL_OBJECT, 48);
LAYOUT(DCL_RESULT, dcl_limit, 16);
LAYOUT(DCL_RESULT, dcl_numentries, 20);
LAYOUT(DCL_RESULT, dcl_objlist, 24);
SIZE(DCL_RESULT, 32);
LAYOUT(DCL_COMP, dcl_provstatus, 4);
LAYOUT(DCL_COMP, dcl_oserr, 8);
SIZE(DCL_COMP, 12);
LAYOUT(DCL_SESS_PROPS, dsp_ifile, 8);
LAYOUT(DCL_SESS_PROPS, dsp_dsname, 263);
LAYOUT(DCL_SESS_PROPS, dsp_activeds, 518);
LAYOUT(DCL_SESS_PROPS, dsp_tls_ca, 773);
LAYOUT(DCL_SESS_PROPS, dsp_timelimit, 1028);
LAYOUT(DCL_SESS_PROPS, dsp_ifile_list, 1032);
SIZE(DCL_SESS_PROPS, 1040);

/* Called from a C++ test so that this translation unit is part of the suite. */
int c_layout_checked(void) { return (int)sizeof(DCL_SESS_PROPS); }
