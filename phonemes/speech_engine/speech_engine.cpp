#include "speech_engine.h"

#include "file_stream.h"
#include "inproc_recognizer.h"
#include "phone_converter.h"
#include "speech_api.h"
#include "speech_registry.h"

namespace phonemes {

void registerSpeechEngine() {
    registerClass(CLSID_SpInprocRecognizer, &createInprocRecognizer);
    registerClass(CLSID_SpStream, &createFileStream);
    registerClass(CLSID_EnginePhoneConverter, &createEnginePhoneConverter);
    registerPhoneConverterToken(kPhoneConverterTokenAttributes, CLSID_EnginePhoneConverter);
}

}  // namespace phonemes
