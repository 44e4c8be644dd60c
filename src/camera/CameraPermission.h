#pragma once

class CameraPlatform;

// True when at least one video-capture device exists and the first one can
// be opened for capture. A refusal (EACCES) is logged with the system's text.
bool checkCameraPermission();
bool checkCameraPermission(CameraPlatform &platform);
