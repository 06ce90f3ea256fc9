#include "recorder/recorder.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>
#include <filesystem>
#include <system_error>

#include "recorder/display_text.h"
#include "recorder/dsp/draw.h"
#include "recorder/dsp/dsp.h"
#include "recorder/encoder_wav.h"
#include "recorder/wave_in_recorder.h"
#include "settings/settings_file.h"
#include "toolbox/player_face.h"
#include "toolbox/version.h"

namespace tarnwick {

namespace {

constexpr const char* kChooserTitle = "Select WAV output format";
constexpr const char* kWriteError = "Write error (no disk space left?)!";

// A machine without a capture backend: no devices.
class NoCapture : public CaptureSource {
public:
    int deviceCount() override { return 0; }
    std::string deviceName(int) override { return {}; }
    std::unique_ptr<CaptureStream> open(int, int, int, CaptureNotify) override { return nullptr; }
    std::unique_ptr<CaptureMixer> openMixer(int) override { return nullptr; }
};

// The largest absolute sample at first, first + step, ...
std::int32_t PeakOfChannel(const std::vector<std::int16_t>& block, std::size_t first, std::size_t step) {
    std::int32_t peak = 0;
    for (std::size_t i = first; i < block.size(); i += step) peak = std::max(peak, std::abs(std::int32_t{block[i]}));
    return peak;
}

}  // namespace

Form11::Form11(ToolContext& ctx, RecorderBackends backends)
    : Tool(ctx, "Form11"), tmrVis(ctx.rt, 25, false), Timer1(ctx.rt, 10, false), backends_(std::move(backends)),
      windows_(ctx.rt) {
    setFrameStyle(FrameStyle::FixedTool);
    for (const char* rate : {"44100", "22050", "11025", "8000"}) cboSamplerate.addItem(rate);
    sldVol.setEnabled(false);  // until a line is chosen
    txtWAVFmt.setReadOnly(true);
    for (TextBox* box : {&Text2, &Text3, &Text4}) box->setReadOnly(true);
    // The file size changes with nearly every buffer while it records.
    sbarPanel1.setChangesOften(true);
    sbarPanel2.setChangesOften(true);

    cboDev.onClick = [this] { cboDev_Click(); };
    cboRecLine.onClick = [this] { cboRecLine_Click(); };
    sldVol.onChange = [this] { applyGain(); };
    sldVol.onScroll = [this] { applyGain(); };
    cboSamplerate.onChange = [this] { rateKeyFilter(); };
    cboSamplerate.onClick = [this] {
        if (!setupDone_) return;
        selectFormat();
        tryStep("samplerate", [&] { dsp_->setSamplerate(rateNumber()); });
    };
    chkStereo.onClick = [this] {
        if (!setupDone_) return;
        selectFormat();
        dsp_->setChannels(channelCount());
    };
    cmdSelFmt.onClick = [this] { selectFormat(); };
    cmdBrowse.onClick = [this] { cmdBrowse_Click(); };
    for (int i = 0; i < 4; ++i)
        chkFX(i).onClick = [this, i] {
            const std::int32_t bit = 1 << i;
            const std::int32_t used = dsp_->EffectsUsed();
            dsp_->setEffectsUsed(chkFX(i).ticked() ? (used | bit) : (used & ~bit));
        };
    cmdFXOpts.onClick = [this] { fxOpts_.ShowEx(*dsp_, this); };
    cmdDo.onClick = [this] { cmdDo_Click(); };
    tmrVis.onTick = [this] { tmrVis_Timer(); };
    Command1.onClick = [this] {
        CleanUp();
        setVisible(false);
    };
    Command4.onClick = [this] {
        txtFile2.setText("");
        LoadFile(true);
    };
    Command3.onClick = [this] {
        CurrentFile.clear();
        TXFile();
    };
    Command2.onClick = [this] {
        if (media_ && media_->loaded()) tryStep("stop", [&] { media_->stop(); });
    };
    Command5.onClick = [this] {
        if (media_ && media_->loaded()) tryStep("run", [&] { media_->run(); });
    };
    H1.onScroll = [this] {
        if (media_ && media_->loaded()) tryStep("seek", [&] { media_->setPosition(H1.value()); });
    };
    Timer1.onTick = [this] { Timer1_Timer(); };

    // Closing the window finishes a running recording and ends the program without asking,
    // releasing the transmitter and the busy flag so that no other tool's transmission stays keyed.
    onCloseRequest = [this] {
        if (IsRecording() && stopRecording() == 10) error(kWriteError);
        CleanUp();
        if (EchoLink) {
            tryStep("SetPTT", [&] { EchoLink->SetPTT(false, Release::Force); });
            tryStep("SetBusy", [&] { EchoLink->SetBusy(false, Release::Force); });
        }
        ctx_.rt.endProcess(0);
        return true;
    };

    using namespace layout;
    layout_ = {
        tabs({tab("Recording",
                  {frame("Sound Card Setup", {row({caption("Sound Card:"), ctl(cboDev)})}),
                   row({caption("Line:"), ctl(cboRecLine)}),
                   row({caption("Gain:"), ctl(sldVol), ctl(lblVolPer)}),
                   frame("Output File", {row({caption("Samplerate:"), ctl(cboSamplerate), ctl(chkStereo)}),
                                         row({caption("WAV Format:"), ctl(txtWAVFmt),
                                              ctl(cmdSelFmt, "Choose WAV format")}),
                                         row({ctl(txtFile, "Output file"), ctl(cmdBrowse, "Choose output file")})}),
                   frame("Effects/Filters", {row({ctl(chkFX0), ctl(chkFX1), ctl(chkFX2), ctl(chkFX3), ctl(cmdFXOpts)})}),
                   row({ctl(picAmpl), ctl(picFreq)}),
                   row({caption("Left Channel:"), ctl(picVUL)}),
                   row({caption("Right Channel:"), ctl(picVUR)}),
                   ctl(cmdDo)}),
              tab("Playback",
                  {frame("Select Audio File    -  mp3  - mp2 -  wav - avi - mid",
                         {ctl(txtFile2), row({ctl(Command4), ctl(Command3), ctl(Command2), ctl(Command5)})}),
                   frame("Progress", {row({caption("Length :"), ctl(Text3)}), row({caption("Time Used :"), ctl(Text2)}),
                                      row({caption("Time Left :"), ctl(Text4)}), ctl(H1)})})}),
        // The status bar sits at the window's foot, as status bars do.
        row({ctl(sbarPanel1), ctl(sbarPanel2)}),
        ctl(Command1)};
}

Form11::~Form11() { Form_Unload(); }

CheckBox& Form11::chkFX(int i) {
    CheckBox* boxes[] = {&chkFX0, &chkFX1, &chkFX2, &chkFX3};
    return *boxes[std::clamp(i, 0, 3)];
}

bool Form11::IsRecording() const { return clsRecorder_ && clsRecorder_->IsRecording(); }

void Form11::error(const std::string& text) {
    ctx_.rt.messageBox(kProductName, text, MsgButtons::Ok, MsgIcon::Exclamation);
}

void Form11::Form_Load() {
    EchoLink = std::make_unique<HostLink>(ctx_.hub, name());
    setWindowCaption(toolCaption(readCallsign(*EchoLink), kTitle));

    capture_ = backends_.capture ? backends_.capture(ctx_.rt) : nullptr;
    if (!capture_) capture_ = std::make_unique<NoCapture>();
    smoothLeft_ = std::make_unique<clsSmooth>();
    smoothRight_ = std::make_unique<clsSmooth>();
    clsRecorder_ = std::make_unique<WaveInRecorder>(*capture_, windows_, ctx_.rt);
    clsRecorder_->GotData = [this](std::vector<std::int16_t>& buffer, std::int32_t& lngLen) { GotData(buffer, lngLen); };
    encoder_ = std::make_unique<EncoderWAV>(backends_.codecs, backends_.formatChooser);
    drawer_ = std::make_unique<clsDraw>();
    dsp_ = std::make_unique<clsDSP>();
    smoothLeft_->SmoothNew(3);
    smoothRight_->SmoothNew(3);

    setupDone_ = false;
    cboSamplerate.setText("44100");
    chkStereo.setValue(1);
    sampleBlock_.assign(1024, 0);
    setupDone_ = true;
    showFormat();
    cboDev.clear();
    for (std::int32_t i = 0; i < clsRecorder_->DeviceCount(); ++i) cboDev.addItem(clsRecorder_->DeviceName(i));
    tryStep("samplerate", [&] { dsp_->setSamplerate(rateNumber()); });
    dsp_->setChannels(channelCount());
    sbarPanel1.setText("Filesize: 0 Bytes");
    sbarPanel2.setText("Length: 0:00");
}

void Form11::Form_Unload() {
    FinishRecording();
    CleanUp();
    tmrVis.setEnabled(false);
    Timer1.setEnabled(false);
    clsRecorder_.reset();
    capture_.reset();
    encoder_.reset();
    EchoLink.reset();
}

void Form11::exitCleanUp() {
    // A recording ends with its file whole; a playback stops.
    FinishRecording();
    CleanUp();
}

std::int32_t Form11::rateNumber() const {
    const long long v = leadingNumber(cboSamplerate.text()).value_or(0);
    return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

// The rate box takes digits up to five of them; anything else typed is dropped.
void Form11::rateKeyFilter() {
    const std::string& t = cboSamplerate.text();
    const bool digits = std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (digits && t.size() <= 5) {
        rateText_ = t;
        return;
    }
    cboSamplerate.setText(rateText_);
}

void Form11::cboDev_Click() {
    cboRecLine.clear();
    sldVol.setEnabled(false);
    if (!clsRecorder_->SelectDevice(cboDev.listIndex())) {
        error("Couldn't select device!");
        return;
    }
    const std::int32_t lines = clsRecorder_->MixerLineCount();
    for (std::int32_t i = 0; i < lines; ++i) cboRecLine.addItem(clsRecorder_->MixerLineName(i));
    // A device without recording lines records what it has; there is no line to choose.
    if (lines > 0) cboRecLine.setListIndex(clsRecorder_->SelectedMixerLine());
}

void Form11::cboRecLine_Click() {
    if (cboRecLine.listIndex() < 0) return;
    if (!clsRecorder_->SelectMixerLine(cboRecLine.listIndex())) error("Couldn't select mixer line!");
    clsRecorder_->MixerLineType(-1);
    sldVol.setEnabled(true);
    sldVol.setValue(clsRecorder_->MixerLineVolume());
    applyGain();
}

void Form11::applyGain() {
    if (!clsRecorder_) return;
    clsRecorder_->setMixerLineVolume(sldVol.value());
    lblVolPer.setCaption(std::to_string(static_cast<long long>(sldVol.value() * 100.0 / sldVol.max())) + "%");
}

void Form11::showFormat() { txtWAVFmt.setText(encoder_->FormatTag() + " - " + encoder_->FormatID()); }

void Form11::selectFormat() {
    encoder_->SelectFormat(rateNumber(), channelCount(), this, kChooserTitle);
    showFormat();
}

void Form11::cmdBrowse_Click() {
    const std::string pattern = "*." + encoder_->Encoder_Extension();
    const std::string filter = encoder_->Encoder_Description() + " (" + pattern + ")|" + pattern;
    std::string name;
    if (backends_.outputFile) tryStep("file dialog", [&] { name = backends_.outputFile(filter, ""); });
    if (name.empty()) return;
    std::string tail = name.size() >= 4 ? name.substr(name.size() - 4) : name;
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
    txtFile.setText(tail == ".wav" ? name : name + ".wav");
}

void Form11::setFramesEnabled(bool on) {
    for (Control* c : std::initializer_list<Control*>{&cboDev, &cboSamplerate, &chkStereo, &txtWAVFmt, &cmdSelFmt,
                                                      &txtFile, &cmdBrowse})
        c->setEnabled(on);
}

void Form11::cmdDo_Click() {
    CleanUp();
    if (IsRecording()) {
        if (stopRecording() == 10) error(kWriteError);
        return;
    }
    if (txtFile.text().empty()) {
        error("Output file missing!");
        return;
    }
    if (cboDev.listIndex() < 0) {
        error("No Sound Card Selected!");
        return;
    }
    const std::int32_t rate = rateNumber();
    const std::int16_t channels = channelCount();
    // A rate the effects chain refuses opens no file either.
    if (rate < 1 || rate > 96000 ||
        encoder_->Encoder_EncoderInit(rate, channels, mapWindowsPath(txtFile.text())) != 0) {
        error("Could not init the encoder!");
        return;
    }
    bytesPerSecond_ = rate * channels * 2;
    dsp_->setSamplerate(rate);
    dsp_->setChannels(channels);
    if (!clsRecorder_->StartRecord(rate, channels)) {
        error("Could not start recording!");
        encoder_->Encoder_EncoderClose();
        bytesPerSecond_ = 0;
        return;
    }
    recordedLength_ = 0;
    statusStale_ = true;
    blockFresh_ = true;
    cmdDo.setCaption("Stop recording");
    setFramesEnabled(false);
    tmrVis.setEnabled(true);
}

std::int32_t Form11::stopRecording() {
    if (!clsRecorder_->StopRecord()) error("Could not stop recording!");
    const std::int32_t code = encoder_->Encoder_EncoderClose();
    recordedLength_ = 0;
    bytesPerSecond_ = 0;
    cmdDo.setCaption("Start recording");
    setFramesEnabled(true);
    // The displays rest while nothing records; the status line shows the zero texts.
    tmrVis.setEnabled(false);
    sbarPanel1.setText("Filesize: 0 Bytes");
    sbarPanel2.setText("Length: 0:00");
    return code;
}

void Form11::FinishRecording() {
    if (!IsRecording()) return;
    clsRecorder_->StopRecord();
    if (encoder_->Encoder_EncoderClose() == 10) ctx_.rt.error("Form11", kWriteError);
    recordedLength_ = 0;
    bytesPerSecond_ = 0;
    tmrVis.setEnabled(false);
}

void Form11::GotData(std::vector<std::int16_t>& buffer, std::int32_t& lngLen) {
    // Only what the device recorded is new sound.
    const std::size_t samples = std::min(buffer.size(), static_cast<std::size_t>(std::max(lngLen, 0) / 2));
    sampleBlock_.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(samples));
    tryStep("ProcessSamples", [&] { dsp_->ProcessSamples(sampleBlock_); });
    blockFresh_ = true;
    if (!IsRecording() || bytesPerSecond_ <= 0) return;
    const std::int32_t bytes = static_cast<std::int32_t>(samples * 2);
    recordedLength_ += static_cast<std::int32_t>(std::rint(static_cast<double>(bytes) / bytesPerSecond_ * 1000.0));
    // At most one second of sound per call, so a buffer longer than a second of a low rate records.
    const auto* data = reinterpret_cast<const std::uint8_t*>(sampleBlock_.data());
    for (std::int32_t offset = 0; offset < bytes;) {
        const std::int32_t chunk = std::min(bytes - offset, bytesPerSecond_);
        std::int32_t used = 0;
        if (encoder_->Encoder_Encode(data + offset, chunk, used) == 10) {
            stopRecording();
            error(kWriteError);
            return;
        }
        offset += chunk;
    }
    statusStale_ = true;
}

void Form11::tmrVis_Timer() {
    if (!IsRecording()) {
        sbarPanel1.setText("Filesize: 0 Bytes");
        sbarPanel2.setText("Length: 0:00");
        return;
    }
    // The trace and the peaks depend on the sample block alone: drawn again, an unchanged block
    // would give the same picture and the same peaks.
    if (blockFresh_) {
        blockFresh_ = false;
        drawer_->DrawAmplitudes(sampleBlock_, picAmpl);
        if (chkStereo.ticked()) {
            peakLeft_ = PeakOfChannel(sampleBlock_, 0, 2);
            peakRight_ = PeakOfChannel(sampleBlock_, 1, 2);
        } else {
            peakLeft_ = peakRight_ = PeakOfChannel(sampleBlock_, 0, 1);
        }
    }
    drawer_->DrawFrequencies(sampleBlock_, picFreq);
    smoothLeft_->SmoothAdd(static_cast<float>(peakLeft_ == 0 ? 1 : peakLeft_));
    smoothRight_->SmoothAdd(static_cast<float>(peakRight_ == 0 ? 1 : peakRight_));
    DrawVuBar(picVUL, smoothLeft_->SmoothGetMax() / 32768.0f);
    DrawVuBar(picVUR, smoothRight_->SmoothGetMax() / 32768.0f);
    // The file and the recorded length change only when a buffer is written: the status line is
    // read again then, not on every tick.
    if (!statusStale_) return;
    statusStale_ = false;
    // The file named in the box is the one being written; its open handle tells its length.
    sbarPanel1.setText("Filesize: " + FormatFileSize(encoder_->fileLength()));
    sbarPanel2.setText("Length: " + FormatMinutesSeconds(recordedLength_));
}

void Form11::DrawVuBar(Picture& picture, float level) {
    picture.clear();
    const Colour colour =
        GradientColour(1, level, rgbColour(0, 255, 0), rgbColour(225, 168, 34), rgbColour(255, 0, 0));
    const int width = static_cast<int>(std::rint(level * picture.scaleWidth()));
    drawer_->DrawRect(picture, 0, 0, width, static_cast<int>(std::rint(picture.scaleHeight())), colour);
}

// ---- Playback tab ----

void Form11::CleanUp() {
    Timer1.setEnabled(false);
    if (media_ && media_->loaded()) tryStep("release", [&] { media_->release(); });
}

void Form11::LoadFile(bool ReLoad) {
    if (!CurrentFile.empty() && !ReLoad) return;
    std::string name = txtFile2.text();
    if (name.empty() && backends_.openFile) tryStep("file dialog", [&] { name = backends_.openFile(kFileFilter, ""); });
    const std::string path = name.empty() ? std::string() : mapWindowsPath(name);
    std::error_code ec;
    if (name.empty() || !std::filesystem::is_regular_file(path, ec)) {
        ctx_.rt.messageBox("Error", "Please select a file", MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    txtFile2.setText(name);
    CurrentFile = name;
    CleanUp();
    std::string why;
    try {
        if (!media_ && backends_.mediaPlayer) media_ = backends_.mediaPlayer();
        if (media_ && media_->render(path, why)) {
            const double duration = media_->duration();
            H1.setRange(0, static_cast<int>(std::nearbyint(std::clamp(duration, 0.0, 2147483647.0))));
            Text3.setText(FormatTime(duration));
            // The monitor runs while a file is loaded.
            Timer1.setEnabled(true);
            return;
        }
        if (!media_) why = "no media player";
    } catch (const std::exception& e) {
        why = e.what();
    }
    ctx_.rt.error("Form11 LoadFile", path + ": " + why);
    ctx_.rt.messageBox("Error", "Render error no rendering device found", MsgButtons::Ok, MsgIcon::Exclamation);
    CleanUp();
}

void Form11::TXFile() {
    CurrentFile.clear();
    LoadFile(false);
    Text2.setText("00:00:00");
    if (!media_ || !media_->loaded()) return;
    tryStep("run", [&] {
        media_->run();
        media_->setPosition(0);
    });
}

void Form11::Timer1_Timer() {
    if (!media_ || !media_->loaded()) return;
    try {
        const double position = media_->position();
        const double duration = media_->duration();
        H1.setValue(static_cast<int>(std::nearbyint(position)));
        Text4.setText(FormatTime(duration - position));
        Text2.setText(FormatTime(position));
    } catch (...) {
        // The monitor passes over a player that cannot answer.
    }
}

}  // namespace tarnwick
