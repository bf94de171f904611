#include "app/app_image.h"

void app_image_export(gr_image_s*) {}
