// Resource identifiers shared by jovloader.rc and the code that loads them.
#pragma once

// The lowest icon identifier is the one Explorer shows for the program.
#define JOV_IDI_LOGO 1
