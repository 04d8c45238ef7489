// INI profile functions, Linux stand-in, following the Windows rules that
// hosts' INI files rely on:
// - section and key names match case-insensitively;
// - blanks around section names, key names and values are trimmed, and one
//   pair of matching quotes around a value is removed;
// - lines starting with ';' are comments;
// - a write keeps every other section, key and comment line of the file,
//   replaces the value of an existing key in place, and appends the key (and
//   the section) when missing, creating the file if needed;
// - an unreadable file reads as empty (defaults apply) and an unwritable one
//   makes the write fail; neither reports anything.
#ifndef KW_PROFILE_H
#define KW_PROFILE_H

#include "MaskSchedulePlatform.h"

// Copies the value of key in section (or def, blanks trimmed, when absent)
// into buffer of size characters, cut to size - 1. Returns the characters
// copied, without the terminating zero.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                               char* buffer, DWORD size, const char* file);
// Sets key in section to value. Returns nonzero on success. A null value
// removes the key; a null key removes the section.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* file);

#endif
