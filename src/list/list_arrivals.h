// Lines added to "ZENPO.txt" while a party held the list under a working name.
#pragma once

#include <string>

namespace zenpo {

// Gives held, a working copy that holds the whole list, the list's name. When a new
// "ZENPO.txt" has appeared meanwhile (the user appended to the list by hand, which
// creates the file afresh), its lines are taken in after held's own and the rename is
// tried again, a bounded number of times. The newcomer is renamed aside to
// "!!!ZENPO.txt" before it is read and deleted only once held holds its lines on the
// disk, so no line is lost or doubled. False when held cannot take the name; its lines
// and the newcomer's are then each still under their own names. Called under the rename
// lock only.
bool GiveListName(const std::wstring& held);

}  // namespace zenpo
