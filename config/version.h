// The one version of the launcher and the starter: fed into both programs'
// version resources, the window captions' numbers and the release package name.
#pragma once

#define VT_VERSION_MAJOR 1
#define VT_VERSION_MINOR 56
#define VT_VERSION_PATCH 0
#define VT_VERSION_TEXT "1.56.0"

#define VT_COMPANY_NAME "Vortane Mod Team"
#define VT_PRODUCT_NAME "Vortane Mod Launcher"
#define VT_COPYRIGHT "Copyright (C) Vortane Mod Team"

#define VT_UPDATE_DESCRIPTION "Downloads Patches to Vortane Mod before starting Multiplayer Game"
#define VT_STARTER_DESCRIPTION "Vortane Mod game starter"
