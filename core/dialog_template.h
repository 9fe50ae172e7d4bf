// The main dialog: caption, size, font and every control with its id, kind, caption and place.
#pragma once

#include "platform/dialog_template.h"

const platform::DialogTemplate& quillport_dialog();
