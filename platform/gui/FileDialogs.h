#pragma once
// The save dialog of platform/Dialogs.h as a Qt file dialog, for the client
// to bind with SetSaveDialogHook.
#include "platform/Dialogs.h"

namespace kv {

bool QtSaveDialog(TSaveDialog &Dialog);

}  // namespace kv
