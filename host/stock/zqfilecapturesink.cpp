#include "zqfilecapturesink.h"

ZQFileCaptureSink::ZQFileCaptureSink(const char* name, const ZQCaptureSinkSettings& settings)
    : ZQCaptureSink(name), m_settings(settings)
{
    SetKeepLimit(settings.keepLimit);
}

bool ZQFileCaptureSink::OnStart()
{
    return m_settings.outputPath.empty() || OpenOutputFile(m_settings.outputPath.c_str());
}

bool ZQFileCaptureSink::OnStop()
{
    CloseOutputFile();
    return true;
}
