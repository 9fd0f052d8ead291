// The list's one guard between threads and instances: the list is locked by renaming
// "ZENPO.txt" to "!ZENPO.txt", which succeeds for one party only.
#pragma once

namespace zenpo {

// Takes the lock. False when the list is missing or the lock name is taken (another
// thread or instance holds the list, or a leftover blocks it); nothing changes then.
// Safe from any thread and process: the rename never replaces a file and is atomic.
bool TakeListLock();

// Gives the locked list its name back, with the lines of a list file that appeared
// meanwhile (GiveListName). False when that fails; the list then stays under the lock
// name and blocks every party until the user renames it.
bool ReturnListLock();

}  // namespace zenpo
