#pragma once
// Form11: the sound recorder. Records one line of a chosen sound card into a WAV file in a chosen
// format through the switched-on effects, with waveform, spectrum, level bars and a status line;
// a second tab plays an audio file on the local output. It keys nothing and keeps no settings.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostlink/host_link.h"
#include "player/file_dialog.h"
#include "player/media_player.h"
#include "recorder/capture_source.h"
#include "recorder/codecs.h"
#include "recorder/dispatcher.h"
#include "recorder/dsp/picture.h"
#include "recorder/fx_options.h"
#include "runtime/runtime.h"
#include "toolbox/tool.h"

namespace tarnwick {

class WaveInRecorder;
class EncoderWAV;
class clsDSP;
class clsDraw;
class clsSmooth;

using CaptureSourceFactory = std::function<std::unique_ptr<CaptureSource>(Runtime&)>;

// What the recorder is given to work with.
struct RecorderBackends {
    // The sound card's capture; unset means no devices.
    CaptureSourceFactory capture;
    // The playback tab's player and its file dialog.
    MediaPlayerFactory mediaPlayer;
    OpenFileDialog openFile;
    // The output file's dialog, in which a new name may be typed; unset means "cancelled".
    OpenFileDialog outputFile;
    CodecLibraries codecs;
    FormatChooser formatChooser;
};

class Form11 : public Tool {
public:
    static constexpr const char* kTitle = "   Sound Recorder";
    static constexpr const char* kFileFilter = "*.wav, *.mp2, *.mp3, *.avi, *.mid|*.wav;*.mp2;*.mp3;*.avi;*.mid";

    Form11(ToolContext& ctx, RecorderBackends backends = {});
    ~Form11() override;

    // Stops a running recording and finishes its file; the program's end calls it on every path.
    void FinishRecording();

    // The playback tab's copies of the player's operations.
    void LoadFile(bool ReLoad);
    void CleanUp();
    void TXFile();

    std::unique_ptr<HostLink> EchoLink;

    CommandButton Command1{"Command1", "Hide"};
    // Recording tab.
    ComboBox cboDev{"cboDev"};
    ComboBox cboRecLine{"cboRecLine"};
    ScrollBar sldVol{"sldVol", 0, 65535, 0};
    Label lblVolPer{"lblVolPer", "100%"};
    ComboBox cboSamplerate{"cboSamplerate"};
    CheckBox chkStereo{"chkStereo", "stereo"};
    TextBox txtWAVFmt{"txtWAVFmt"};
    CommandButton cmdSelFmt{"cmdSelFmt", "..."};
    TextBox txtFile{"txtFile"};
    CommandButton cmdBrowse{"cmdBrowse", "..."};
    CheckBox chkFX0{"chkFX(0)", "Echo"};
    CheckBox chkFX1{"chkFX(1)", "Phase Shift"};
    CheckBox chkFX2{"chkFX(2)", "Amplifier"};
    CheckBox chkFX3{"chkFX(3)", "Equalizer"};
    CommandButton cmdFXOpts{"cmdFXOpts", "Settings"};
    CommandButton cmdDo{"cmdDo", "Record"};
    Picture picAmpl{"picAmpl", 100, 60, 0};
    Picture picFreq{"picFreq", 100, 60, 0};
    Picture picVUL{"picVUL", 200, 12, 0};
    Picture picVUR{"picVUR", 200, 12, 0};
    // The status bar's two panels.
    Label sbarPanel1{"sbar(1)", "Filesize: 0 Bytes"};
    Label sbarPanel2{"sbar(2)", "Length: 0:00"};
    Timer tmrVis;
    // Playback tab.
    TextBox txtFile2{"txtFile2", "Cleck the File button to select a file"};
    CommandButton Command4{"Command4", "File"};
    CommandButton Command3{"Command3", "Play"};
    CommandButton Command2{"Command2", "Stop"};
    CommandButton Command5{"Command5", "Resume"};
    TextBox Text3{"Text3", "00:00:00"};
    TextBox Text2{"Text2", "00:00:00"};
    TextBox Text4{"Text4", "00:00:00"};
    ScrollBar H1{"H1", 0, 0, 0};
    Timer Timer1;

    // The playback's remembered path: empty makes the next load read txtFile2 afresh.
    std::string CurrentFile;

    CheckBox& chkFX(int i);
    frmFXOpts& fxOptions() { return fxOpts_; }
    WaveInRecorder* recorder() const { return clsRecorder_.get(); }
    clsDSP* effects() const { return dsp_.get(); }
    EncoderWAV* encoder() const { return encoder_.get(); }
    // The latest captured buffer after the effects, as the displays read it.
    const std::vector<std::int16_t>& sampleBlock() const { return sampleBlock_; }
    std::int32_t recordedLength() const { return recordedLength_; }
    bool IsRecording() const;

protected:
    void Form_Load() override;
    void Form_Unload() override;
    void exitCleanUp() override;

private:
    void cboDev_Click();
    void cboRecLine_Click();
    void applyGain();
    void rateKeyFilter();
    void selectFormat();
    void showFormat();
    void cmdBrowse_Click();
    void cmdDo_Click();
    // Stops the capture and finishes the file; the encoder's closing code.
    std::int32_t stopRecording();
    void GotData(std::vector<std::int16_t>& buffer, std::int32_t& lngLen);
    void tmrVis_Timer();
    void DrawVuBar(Picture& picture, float level);
    void Timer1_Timer();
    void setFramesEnabled(bool on);
    std::int32_t rateNumber() const;
    std::int16_t channelCount() const { return chkStereo.ticked() ? 2 : 1; }
    void error(const std::string& text);

    RecorderBackends backends_;
    WindowSystem windows_;
    std::unique_ptr<CaptureSource> capture_;
    std::unique_ptr<WaveInRecorder> clsRecorder_;
    std::unique_ptr<EncoderWAV> encoder_;
    std::unique_ptr<clsDSP> dsp_;
    std::unique_ptr<clsDraw> drawer_;
    std::unique_ptr<clsSmooth> smoothLeft_, smoothRight_;
    std::vector<std::int16_t> sampleBlock_;
    std::int32_t recordedLength_ = 0;
    std::int32_t bytesPerSecond_ = 0;
    // A buffer was written since the status line was last shown.
    bool statusStale_ = false;
    // The sample block changed since the displays last read it; the peaks they read then.
    bool blockFresh_ = true;
    std::int32_t peakLeft_ = 0, peakRight_ = 0;
    bool setupDone_ = false;
    std::string rateText_;
    std::unique_ptr<MediaPlayer> media_;
    frmFXOpts fxOpts_;
};

}  // namespace tarnwick
