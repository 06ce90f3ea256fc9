#pragma once
// The conference family's windows: the conference controller, the station-info window and the
// greetings window.

#include "conference/conference_controller.h"
#include "conference/greetings.h"
#include "conference/station_info.h"
