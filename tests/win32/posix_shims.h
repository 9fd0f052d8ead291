// The few POSIX calls the shared test helpers use, for the Windows build of the tests
// (force-included there, so the helpers stay one file for both systems).
#pragma once

extern "C" {
char* mkdtemp(char* name_template);
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
}
