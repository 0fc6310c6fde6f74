// The form framework, a thin layer over Win32, in one include: forms
// (form.h), their controls (controls.h, flat_button.h) and design pixels on
// the screen (placement.h), names for screen readers (accessible_name.h).
#pragma once

#include "controls.h"
#include "flat_button.h"
#include "form.h"
#include "accessible_name.h"
#include "placement.h"
