// Numbers of the dialogs and their controls, shared by the dialog templates and the code that
// runs them. Plain defines, so the resource compiler reads this file too.
#pragma once

#define IDD_PREFERENCES 100
#define IDD_PATCHINFO 101
#define IDD_RANDOMIZER 102

#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif
#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

// Preferences
#define IDC_STANDARD_TUNING 1001
#define IDC_CUSTOM_TUNING 1002
#define IDC_SELECT_TUNING 1003
#define IDC_TUNING_NAME 1004
#define IDC_ALIAS_FREE 1005
#define IDC_FILTER_18 1006
#define IDC_FILTER_24 1007
#define IDC_FILTER_24_2X 1008
#define IDC_CABLE_SHADOWS 1009
#define IDC_SHOW_CABLES 1010
#define IDC_FLOATING_DISPLAY 1011
#define IDC_STICKY_CONTROLS 1012
#define IDC_ANTIALIASING 1013
#define IDC_CABLE_TENSION 1014
#define IDC_DEFAULT_SKIN 1015
#define IDC_POLYPHONY_LABEL 1016
#define IDC_POLYPHONY 1017
#define IDC_BEND_RANGE_LABEL 1018
#define IDC_BEND_RANGE 1019
#define IDC_SYNC_TO_HOST 1020
#define IDC_KEYBOARD_PROGRAMMING 1021
#define IDC_CONFIRM_CLEAR 1022
#define IDC_MIDI_OUTPUT 1023
#define IDC_START_PATCH 1024
#define IDC_RESTORE_DEFAULT 1025
#define IDC_SET_AS_DEFAULT 1026

// Patch info
#define IDC_INFO_TEXT 1101
#define IDC_SHOW_INFO 1102

// Advanced randomizer: the density controls and the root and mode buttons are numbered in
// their order (note, gate, slide, accent; C .. B; Chromatic .. Locrian).
#define IDC_LENGTH 1201
#define IDC_LENGTH_VALUE 1202
#define IDC_HI 1203
#define IDC_HI_SPIN 1204
#define IDC_LO 1205
#define IDC_LO_SPIN 1206
#define IDC_NOTE_ENABLE 1210
#define IDC_GATE_ENABLE 1211
#define IDC_SLIDE_ENABLE 1212
#define IDC_ACCENT_ENABLE 1213
#define IDC_NOTE_DENSITY 1220
#define IDC_GATE_DENSITY 1221
#define IDC_SLIDE_DENSITY 1222
#define IDC_ACCENT_DENSITY 1223
#define IDC_NOTE_DENSITY_VALUE 1230
#define IDC_GATE_DENSITY_VALUE 1231
#define IDC_SLIDE_DENSITY_VALUE 1232
#define IDC_ACCENT_DENSITY_VALUE 1233
#define IDC_ROOT_C 1240
#define IDC_ROOT_CS 1241
#define IDC_ROOT_D 1242
#define IDC_ROOT_DS 1243
#define IDC_ROOT_E 1244
#define IDC_ROOT_F 1245
#define IDC_ROOT_FS 1246
#define IDC_ROOT_G 1247
#define IDC_ROOT_GS 1248
#define IDC_ROOT_A 1249
#define IDC_ROOT_AS 1250
#define IDC_ROOT_B 1251
#define IDC_SCALE_CHROMATIC 1260
#define IDC_SCALE_IONIAN 1261
#define IDC_SCALE_DORIAN 1262
#define IDC_SCALE_LYDIAN 1263
#define IDC_SCALE_MIXOLYDIAN 1264
#define IDC_SCALE_AEOLIAN 1265
#define IDC_SCALE_LOCRIAN 1266
#define IDC_FIX_SCALE 1267
#define IDC_RESET 1270
#define IDC_GO 1271
