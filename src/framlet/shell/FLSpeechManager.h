// Reading text aloud: one synthesizer for the process, made when speech starts and dropped when
// it ends (unless asked to keep it). The synthesizer is an interface over the desktop's speech
// service, so tests speak through a fake.
#pragma once

#include <QString>

#include <functional>
#include <memory>

class FLSpeechSynthesizer {
 public:
  virtual ~FLSpeechSynthesizer() = default;
  virtual void startSpeaking(const QString& text) = 0;
  virtual void stopSpeaking() = 0;
  virtual bool isSpeaking() const = 0;
  // Called once when the speech of startSpeaking has ended by itself.
  void setFinishedHandler(std::function<void()> handler) { finished_ = std::move(handler); }

 protected:
  void finished() {
    if (finished_) finished_();
  }

 private:
  std::function<void()> finished_;
};

// Over Qt's text to speech; null when the desktop offers no engine.
std::unique_ptr<FLSpeechSynthesizer> NewTextToSpeechSynthesizer();

class FLSpeechManager {
 public:
  using SynthesizerFactory = std::function<std::unique_ptr<FLSpeechSynthesizer>()>;

  static FLSpeechManager& sharedInstance();
  FLSpeechManager(const FLSpeechManager&) = delete;
  FLSpeechManager& operator=(const FLSpeechManager&) = delete;

  // Stops any speech; an empty text ends there.
  void speakString(const QString& text);
  void stopSpeaking();
  bool isSpeaking() const;
  // Drops the synthesizer unless it is to be kept.
  void ditchSpeaker();
  bool keepSpeaker() const { return keepSpeaker_; }
  void setKeepSpeaker(bool keep) { keepSpeaker_ = keep; }
  FLSpeechSynthesizer* speaker() const { return speaker_.get(); }
  void setSpeaker(std::unique_ptr<FLSpeechSynthesizer> speaker);
  // Makes the synthesizers (tests install a fake); empty: Qt's text to speech.
  void setSynthesizerFactory(SynthesizerFactory factory) { factory_ = std::move(factory); }

 private:
  FLSpeechManager() = default;
  void didFinishSpeaking();

  std::unique_ptr<FLSpeechSynthesizer> speaker_;
  bool keepSpeaker_ = false;
  SynthesizerFactory factory_;
};
