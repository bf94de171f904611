#include "app/app_progress.h"

#include <syslog.h>

void app_progress_start() {}

void app_progress_step(float fraction) {
    syslog(LOG_INFO, "progress: %g%%", fraction * 100.0);
}

void app_progress_stop() {}
