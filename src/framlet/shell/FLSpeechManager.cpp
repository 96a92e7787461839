#include "framlet/shell/FLSpeechManager.h"

#include <QTextToSpeech>
#include <QTimer>

namespace {

class TextToSpeechSynthesizer : public FLSpeechSynthesizer {
 public:
  TextToSpeechSynthesizer() {
    QObject::connect(&speech_, &QTextToSpeech::stateChanged, &speech_, [this](QTextToSpeech::State state) {
      if (state == QTextToSpeech::Ready && speaking_) {
        speaking_ = false;
        // The manager may drop this synthesizer in the handler: not from inside its own signal.
        QTimer::singleShot(0, &speech_, [this] { finished(); });
      }
    });
  }
  void startSpeaking(const QString& text) override {
    speaking_ = true;
    speech_.say(text);
  }
  void stopSpeaking() override {
    speaking_ = false;
    speech_.stop();
  }
  bool isSpeaking() const override { return speech_.state() == QTextToSpeech::Speaking; }
  bool usable() const { return speech_.state() != QTextToSpeech::Error; }

 private:
  QTextToSpeech speech_;
  bool speaking_ = false;
};

}  // namespace

std::unique_ptr<FLSpeechSynthesizer> NewTextToSpeechSynthesizer() {
  if (QTextToSpeech::availableEngines().isEmpty()) return nullptr;
  auto synthesizer = std::make_unique<TextToSpeechSynthesizer>();
  if (!synthesizer->usable()) return nullptr;
  return synthesizer;
}

FLSpeechManager& FLSpeechManager::sharedInstance() {
  static FLSpeechManager manager;
  return manager;
}

void FLSpeechManager::setSpeaker(std::unique_ptr<FLSpeechSynthesizer> speaker) {
  speaker_ = std::move(speaker);
  if (speaker_) speaker_->setFinishedHandler([this] { didFinishSpeaking(); });
}

void FLSpeechManager::speakString(const QString& text) {
  stopSpeaking();
  if (text.isEmpty()) return;
  if (!speaker_) setSpeaker(factory_ ? factory_() : NewTextToSpeechSynthesizer());
  if (speaker_) speaker_->startSpeaking(text);
}

void FLSpeechManager::stopSpeaking() {
  if (speaker_) speaker_->stopSpeaking();
  ditchSpeaker();
}

bool FLSpeechManager::isSpeaking() const {
  // Without a kept synthesizer, one exists only while it speaks.
  return speaker_ && (!keepSpeaker_ || speaker_->isSpeaking());
}

void FLSpeechManager::ditchSpeaker() {
  if (!keepSpeaker_) speaker_.reset();
}

void FLSpeechManager::didFinishSpeaking() { ditchSpeaker(); }
