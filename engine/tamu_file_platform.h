// What the file layer takes from the platform (engine/platform/*). Used
// only inside the engine's file and path code.
#pragma once

#include <cstdint>
#include <cstdio>

struct cfind;

// Joins parts into out (1024 characters); fails (non-zero), leaving out
// empty, when the result would not fit. out may be one of the parts.
int tamu_path_join(char *out, const char *a, const char *b = "", const char *c = "", const char *d = "");

// Whether a folder setting (home_path, desktop_path) holds a folder.
bool tamu_path_is_set(const char *path);

// Clears search and fills in its folder, name suffix ("*.ext" patterns)
// and mask. Fails (non-zero) for a null folder, or a folder or suffix too
// long for the record, which would be cut to another name.
int tamu_find_prepare(const char *directory, const char *pattern, cfind *search, uint32_t mask);

// The user's home folder (Linux: HOME) into out (1024 characters).
// Returns 0 when there is one, else non-zero with out empty.
int tamu_platform_home_folder(char *out);

// Creates a new, empty temporary file beside target for binary writing,
// storing its path in temp_path (1024 characters). Null on failure.
FILE *tamu_platform_open_temp(const char *target, char *temp_path);

// Flushes, syncs and closes stream (always closed), then renames temp_path
// over target. Returns 0 on success; on failure temp_path is removed and
// target is unchanged.
int tamu_platform_commit_temp(FILE *stream, const char *temp_path, const char *target);
