// Private profile (INI) files, read and written as the Windows profile calls do: sections "[name]",
// "key=value" lines, ';' comments. The settings file and the string file are read through these.
//
// Reading: section and key names compare without regard to (ASCII) case; blanks (spaces, tabs) around
// names and values are trimmed; a value enclosed in a matching pair of quotes (' or ") loses them;
// lines end in LF or CR LF; the first section of a name and the first key of a name in it count.
// Lines that are neither a section, a key line, a comment nor blank are ignored (and kept on writing);
// keys before the first section belong to no section.
//
// File names: mapped through the prefix (see Paths.h); a bare name (no folder) lies in the Windows
// folder, <prefix>/drive_c/windows; a null name is "win.ini" there.
#pragma once

#include <cstddef>

namespace win {

// Copies the key's value, or the default when the key, its section or the file is missing, into the
// buffer: at most size - 1 characters, always terminated when size > 0. Returns the number of
// characters copied (without the zero), so size - 1 when the text was cut. A key that is present with an
// empty value gives "" (not the default). A null default is ""; trailing blanks of the default are
// dropped, as Windows does. A null section or key, or a null buffer or size 0, copies nothing and
// returns 0 (a null key does not list the keys here).
size_t GetPrivateProfileString(const char* section, const char* key, const char* defaultValue, char* buffer,
                               size_t size, const char* fileName);

// Reads the key as an integer the way Windows does: the default when the key is missing or its value
// is empty; otherwise blanks skipped, an optional sign, then decimal digits up to the first non-digit
// ("12abc" gives 12, "-3" gives -3, "abc" gives 0, "0x10" gives 0, "+7" gives 7). Only the first 29
// characters of the value are looked at; the number wraps modulo 2^32 like the Windows call's
// unsigned result, read back as a signed value.
int GetPrivateProfileInt(const char* section, const char* key, int defaultValue, const char* fileName);

// Sets the key to value in the file: the existing key line is rewritten in place (its name keeps its
// spelling), a new key goes after the last key line of its section, a missing section is added at the
// end of the file, and a missing file is created (its folder must exist). Every other line, comment and
// the order are kept; new lines get the line end the file already uses (LF in a new file). A null value
// deletes the key; a null key deletes the whole section. The file is written beside and renamed into
// place under an exclusive lock on "<file>.lock", so readers see the old or the new file and two
// writers do not lose each other's changes. Returns true on success; false (file unchanged) when the
// file cannot be read or written, the section or key is null/empty when needed, or a name or the value
// holds a line break (or a key holds '=' or starts with '[' or ';', a section holds ']'), which would
// change the file's structure.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* fileName);

}  // namespace win
