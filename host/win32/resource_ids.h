/* The numbers of walkers' Windows resources, shared by resources.rc and the code. */
#pragma once

#define WALKERS_ICON 1
#define WALKERS_NAME 1 /* string: the name Screen Saver Settings lists */
#define WALKERS_SETTINGS 100
#define WALKERS_CYCLE 101
#define WALKERS_PER_MONITOR 102
#define WALKERS_SPANNING 103
