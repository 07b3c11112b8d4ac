// Registration entries for the FreeImage format plugins that the Windows build
// leaves out (only PNG is compiled). FreeImage numbers its formats by the order
// in which FreeImage_Initialise registers them, and it drops an entry whose
// plugin gives no name; so every left-out plugin still gives its name, and
// nothing else, so that FIF_PNG stays 13 and every other number stays as
// FreeImage.h defines it. A stub plugin can neither load nor save anything.
#include "Plugin.h"

namespace {

#define VELMORA_STUB_PLUGIN(init, name)                    \
  const char* DLL_CALLCONV init##Name() { return name; }

VELMORA_STUB_PLUGIN(InitBMP, "BMP")
VELMORA_STUB_PLUGIN(InitICO, "ICO")
VELMORA_STUB_PLUGIN(InitJPEG, "JPEG")
VELMORA_STUB_PLUGIN(InitJNG, "JNG")
VELMORA_STUB_PLUGIN(InitKOALA, "KOALA")
VELMORA_STUB_PLUGIN(InitIFF, "IFF")
VELMORA_STUB_PLUGIN(InitMNG, "MNG")
VELMORA_STUB_PLUGIN(InitPNM, "PNM")
VELMORA_STUB_PLUGIN(InitPCD, "PCD")
VELMORA_STUB_PLUGIN(InitPCX, "PCX")
VELMORA_STUB_PLUGIN(InitRAS, "RAS")
VELMORA_STUB_PLUGIN(InitTARGA, "TARGA")
VELMORA_STUB_PLUGIN(InitTIFF, "TIFF")
VELMORA_STUB_PLUGIN(InitWBMP, "WBMP")
VELMORA_STUB_PLUGIN(InitPSD, "PSD")
VELMORA_STUB_PLUGIN(InitCUT, "CUT")
VELMORA_STUB_PLUGIN(InitXBM, "XBM")
VELMORA_STUB_PLUGIN(InitXPM, "XPM")
VELMORA_STUB_PLUGIN(InitDDS, "DDS")
VELMORA_STUB_PLUGIN(InitGIF, "GIF")
VELMORA_STUB_PLUGIN(InitHDR, "HDR")
VELMORA_STUB_PLUGIN(InitG3, "G3")
VELMORA_STUB_PLUGIN(InitSGI, "SGI")
VELMORA_STUB_PLUGIN(InitEXR, "EXR")
VELMORA_STUB_PLUGIN(InitJ2K, "J2K")
VELMORA_STUB_PLUGIN(InitJP2, "JP2")
VELMORA_STUB_PLUGIN(InitPFM, "PFM")
VELMORA_STUB_PLUGIN(InitPICT, "PICT")
VELMORA_STUB_PLUGIN(InitRAW, "RAW")
VELMORA_STUB_PLUGIN(InitWEBP, "WebP")
VELMORA_STUB_PLUGIN(InitJXR, "JXR")

}  // namespace

// The PNM entries are registered with their names given by FreeImage itself
// (PBM, PGM, PPM and their RAW forms); its stub still names itself.
#define VELMORA_STUB_INIT(init)                                                 \
  void DLL_CALLCONV init(Plugin* plugin, int /*format_id*/) {                    \
    plugin->format_proc = init##Name;                                            \
  }

VELMORA_STUB_INIT(InitBMP)
VELMORA_STUB_INIT(InitICO)
VELMORA_STUB_INIT(InitJPEG)
VELMORA_STUB_INIT(InitJNG)
VELMORA_STUB_INIT(InitKOALA)
VELMORA_STUB_INIT(InitIFF)
VELMORA_STUB_INIT(InitMNG)
VELMORA_STUB_INIT(InitPNM)
VELMORA_STUB_INIT(InitPCD)
VELMORA_STUB_INIT(InitPCX)
VELMORA_STUB_INIT(InitRAS)
VELMORA_STUB_INIT(InitTARGA)
VELMORA_STUB_INIT(InitTIFF)
VELMORA_STUB_INIT(InitWBMP)
VELMORA_STUB_INIT(InitPSD)
VELMORA_STUB_INIT(InitCUT)
VELMORA_STUB_INIT(InitXBM)
VELMORA_STUB_INIT(InitXPM)
VELMORA_STUB_INIT(InitDDS)
VELMORA_STUB_INIT(InitGIF)
VELMORA_STUB_INIT(InitHDR)
VELMORA_STUB_INIT(InitG3)
VELMORA_STUB_INIT(InitSGI)
VELMORA_STUB_INIT(InitEXR)
VELMORA_STUB_INIT(InitJ2K)
VELMORA_STUB_INIT(InitJP2)
VELMORA_STUB_INIT(InitPFM)
VELMORA_STUB_INIT(InitPICT)
VELMORA_STUB_INIT(InitRAW)
VELMORA_STUB_INIT(InitWEBP)
VELMORA_STUB_INIT(InitJXR)
