// What the file layer takes from the platform (engine/platform/*). Used
// only inside the engine's file and path code.
#pragma once

#include <cstdio>

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
