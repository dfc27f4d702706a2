#pragma once

// CPU time (user and system) this process has used so far, in seconds.
double processCpuSeconds();
