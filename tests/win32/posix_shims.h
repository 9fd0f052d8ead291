// The few POSIX calls the shared test helpers use, for the Windows build of the tests
// (force-included there, so the helpers stay one file for both systems).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif
// Creates a fresh directory from a template ending in "XXXXXX"; the template on success.
char* mkdtemp(char* name_template);
#ifdef __cplusplus
}
#endif
