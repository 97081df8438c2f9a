// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The 128 instruments of the General MIDI Level 1 program list; the ordinal
// of each value is its program number.

#include <cstdint>

enum TGMInstrumentPatch : std::uint8_t {
    // Piano
    gmiAcousticGrandPiano, gmiBrightAcousticPiano, gmiElectricGrandPiano, gmiHonkyTonkPiano,
    gmiElectricPiano1, gmiElectricPiano2, gmiHarpsichord, gmiClavi,
    // Chromatic percussion
    gmiCelesta, gmiGlockenspiel, gmiMusicBox, gmiVibraphone,
    gmiMarimba, gmiXylophone, gmiTubularBells, gmiDulcimer,
    // Organ
    gmiDrawbarOrgan, gmiPercussiveOrgan, gmiRockOrgan, gmiChurchOrgan,
    gmiReedOrgan, gmiAccordion, gmiHarmonica, gmiTangoAccordion,
    // Guitar
    gmiAcousticGuitarNylon, gmiAcousticGuitarSteel, gmiElectricGuitarJazz, gmiElectricGuitarClean,
    gmiElectricGuitarMuted, gmiOverdrivenGuitar, gmiDistortionGuitar, gmiGuitarHarmonics,
    // Bass
    gmiAcousticBass, gmiElectricBassFinger, gmiElectricBassPick, gmiFretlessBass,
    gmiSlapBass1, gmiSlapBass2, gmiSynthBass1, gmiSynthBass2,
    // Strings
    gmiViolin, gmiViola, gmiCello, gmiContrabass,
    gmiTremoloStrings, gmiPizzicatoStrings, gmiOrchestralHarp, gmiTimpani,
    // Ensemble
    gmiStringEnsemble1, gmiStringEnsemble2, gmiSynthStrings1, gmiSynthStrings2,
    gmiChoirAahs, gmiVoiceOohs, gmiSynthVoice, gmiOrchestraHit,
    // Brass
    gmiTrumpet, gmiTrombone, gmiTuba, gmiMutedTrumpet,
    gmiFrenchHorn, gmiBrassSection, gmiSynthBrass1, gmiSynthBrass2,
    // Reed
    gmiSopranoSax, gmiAltoSax, gmiTenorSax, gmiBaritoneSax,
    gmiOboe, gmiEnglishHorn, gmiBassoon, gmiClarinet,
    // Pipe
    gmiPiccolo, gmiFlute, gmiRecorder, gmiPanFlute,
    gmiBlownBottle, gmiShakuhachi, gmiWhistle, gmiOcarina,
    // Synth lead
    gmiLead1Square, gmiLead2Sawtooth, gmiLead3Calliope, gmiLead4Chiff,
    gmiLead5Charang, gmiLead6Voice, gmiLead7Fifths, gmiLead8BassLead,
    // Synth pad
    gmiPad1NewAge, gmiPad2Warm, gmiPad3Polysynth, gmiPad4Choir,
    gmiPad5Bowed, gmiPad6Metallic, gmiPad7Halo, gmiPad8Sweep,
    // Synth effects
    gmiFX1Rain, gmiFX2Soundtrack, gmiFX3Crystal, gmiFX4Atmosphere,
    gmiFX5Brightness, gmiFX6Goblins, gmiFX7Echoes, gmiFX8SciFi,
    // Ethnic
    gmiSitar, gmiBanjo, gmiShamisen, gmiKoto,
    gmiKalimba, gmiBagpipe, gmiFiddle, gmiShanai,
    // Percussive
    gmiTinkleBell, gmiAgogo, gmiSteelDrums, gmiWoodblock,
    gmiTaikoDrum, gmiMelodicTom, gmiSynthDrum, gmiReverseCymbal,
    // Sound effects
    gmiGuitarFretNoise, gmiBreathNoise, gmiSeashore, gmiBirdTweet,
    gmiTelephoneRing, gmiHelicopter, gmiApplause, gmiGunshot,
};

static_assert(gmiGunshot == 127, "the General MIDI program list has 128 instruments");
