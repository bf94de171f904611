#pragma once
// Exchange of images with the rest of the desktop.

struct gr_image_s;

// Offers image to the desktop for export; does nothing on this platform. The
// image is not consumed.
void app_image_export(gr_image_s* image);
