// The tray icons' resource ids: the one definition, for the code and for the
// resource script. Plain #defines: windres reads this file too.
#pragma once

#define IDI_APP 201
#define IDI_NORMAL 202
#define IDI_ALERT 203
#define IDI_STOPPED 204
#define IDI_PAUSED 205
