// The table of lentok-read's texts: each line in English and in Russian,
// side by side, in the order of TextId.
#include "reader_tool/texts.h"

namespace reader_tool {

namespace {

// The record report names a record's place in the recording with times,
// and keeps the status words short, as they are scanned in long lists.
constexpr TextEntry<TextId> kTexts[] = {
    {TextId::kTimeSpan, "%1 to %2", "%1 – %2"},
    {TextId::kQuotedName, "\"%1\"", "«%1»"},
    {TextId::kNoName, "no name", "без имени"},
    {TextId::kAddresses, "start %1, end %2, length %3", "начало %1, конец %2, длина %3"},
    {TextId::kAddressesCutShort, "start %1, end %2, length %3 (%4 read)",
     "начало %1, конец %2, длина %3 (прочитано %4)"},
    {TextId::kNoAddresses, "addresses not read", "адреса не прочитаны"},
    {TextId::kChecksums, "checksum on tape %1, computed %2",
     "контрольная сумма на ленте %1, вычисленная %2"},
    {TextId::kChecksumNotRead, "checksum not read, computed %1",
     "контрольная сумма не прочитана, вычисленная %1"},
    {TextId::kStatusSound, "sound", "исправна"},
    {TextId::kStatusChecksumError, "checksum error", "ошибка контрольной суммы"},
    {TextId::kStatusCutShort, "cut short", "оборвана"},
    {TextId::kStatusCombined, "combined", "собрана из копий"},
    {TextId::kStatusRepaired, "repaired", "исправлена по контрольной сумме"},
    {TextId::kStatusNoChecksum, "no checksum", "без контрольной суммы"},
    {TextId::kNoChecksumWritten, "the earlier monitors write none", "ранние мониторы её не записывают"},
    {TextId::kNoBitInDoubt, "no bit read doubtfully", "сомнительных битов нет"},
    {TextId::kPolarityNormal, "polarity normal", "полярность прямая"},
    {TextId::kPolarityInverted, "polarity inverted", "полярность обратная"},
    {TextId::kSpeed, "speed %1×", "скорость %1×"},
    {TextId::kLevel, "level %1 dBFS", "уровень %1 дБFS"},
    {TextId::kDoubtfulBits, "doubtful bits at %1 (%2 in all)", "сомнительные биты: %1 (всего %2)"},
    {TextId::kRepairedBits, "bits changed: %1 (combinations tried: %2)",
     "изменены биты: %1 (перебрано сочетаний: %2)"},
    {TextId::kChangedBit, "bit %2 at %1", "бит %2 по адресу %1"},
    {TextId::kChangedChecksumBit, "bit %1 of the checksum", "бит %1 контрольной суммы"},
    {TextId::kCombinedFrom, "combined from %1", "источники: %1"},
    {TextId::kCopyAt, "copy %1 (%2 at %3)", "копия %1 (%2, %3)"},
    {TextId::kCopyOnChannelAt, "copy %1 (%2, %3, at %4)", "копия %1 (%2, %3, %4)"},
    {TextId::kLeftChannel, "left channel", "левый канал"},
    {TextId::kRightChannel, "right channel", "правый канал"},
    {TextId::kChannelNumber, "channel %1", "канал %1"},
    {TextId::kDoubtfulStretch, "%1 to %2 from copy %3", "%1–%2 из копии %3"},
    {TextId::kDoubtfulByte, "%1 from copy %2", "%1 из копии %2"},
    {TextId::kDoubtfulStretches, "doubtful bytes %1", "сомнительные байты: %1"},
    {TextId::kNoDoubtfulStretch, "no doubtful bytes", "сомнительных байтов нет"},
    {TextId::kWentInto, "went into the combined image %1", "вошла в собранный образ %1"},
    {TextId::kUnreadSignal, "%1: signal that is not a standard record (level changes about every %2 µs)",
     "%1: сигнал, который не является стандартной записью (перепады примерно через каждые %2 мкс)"},
    {TextId::kUnreadKept, "kept as %1", "сохранён в %1"},
    // The verdict names each problem with where it lies; reasons are joined
    // with "; ".
    // The monitors that load a record are listed; the earlier monitor and
    // the compatible machine read alike, so they come together.
    {TextId::kMachineLoads, "loads on %1", "загрузится на %1"},
    {TextId::kMachineWillNotLoad, "will not load on any monitor", "не загрузится ни на одном мониторе"},
    {TextId::kMachineReasons, "%1: %2", "%1: %2"},
    {TextId::kMachineLoadsEverywhere, "loads on every monitor (plain read)",
     "загрузится на любом мониторе (обычное чтение)"},
    {TextId::kMachineNotOnLater, "%1; not on the later monitor: %2", "%1; на позднем мониторе — нет: %2"},
    {TextId::kMonitorLaterPlain, "the later monitor (plain read)", "позднем мониторе (обычное чтение)"},
    {TextId::kMonitorLaterNamed, "the later monitor (named read)", "позднем мониторе (чтение по имени)"},
    {TextId::kMonitorEarlier, "the earlier monitor", "раннем мониторе"},
    {TextId::kMonitorCompatible, "the compatible machine", "совместимой машине"},
    {TextId::kMonitorList, "%1 and %2", "%1 и %2"},
    {TextId::kProblemNoClosingChange, "no closing change after the last bit at %1",
     "нет перепада после последнего бита (%1)"},
    {TextId::kProblemCellsTooShort, "cells too short at %1: %2 µs, outside the loader's %3 to %4 µs",
     "слишком короткие биты с %1: %2 мкс, а загрузчик принимает %3–%4 мкс"},
    {TextId::kProblemCellsTooLong, "cells too long at %1: %2 µs, outside the loader's %3 to %4 µs",
     "слишком длинные биты с %1: %2 мкс, а загрузчик принимает %3–%4 мкс"},
    {TextId::kProblemChangeTooClose, "a change too close to the last one at %1",
     "перепад слишком близко к предыдущему (%1)"},
    {TextId::kProblemCutShort, "cut short at %1", "запись оборвана (%1)"},
    {TextId::kProblemChecksumError, "checksum error at %1", "ошибка контрольной суммы (%1)"},
    {TextId::kProblemNoSync, "no sync byte after the leader at %1", "после пилот-сигнала нет синхробайта (%1)"},
    {TextId::kProblemNoChecksum, "no checksum after the data at %1", "после данных нет контрольной суммы (%1)"},

    {TextId::kImageWritten, "image %1", "образ %1"},
    {TextId::kDamagedRecord, "lentok-read: %1: the record at %2 (%3) is damaged: %4; its image is kept in %5",
     "lentok-read: %1: запись на отметке %2 (%3) повреждена: %4; её образ сохранён в %5"},
    {TextId::kRepairedRecord,
     "lentok-read: %1: the record at %2 (%3) was repaired from its checksum, a guess it supports: "
     "try the program before trusting it; its image is kept in %4",
     "lentok-read: %1: запись на отметке %2 (%3) исправлена по контрольной сумме, это лишь догадка, "
     "которую сумма подтверждает: проверьте программу, прежде чем ей доверять; её образ сохранён в %4"},
    {TextId::kNoRecordFound, "lentok-read: %1: no record found", "lentok-read: %1: ни одной записи не найдено"},
    {TextId::kImageRenamed, "image %1 (%2 is a file this run reads or its map)",
     "образ %1 (%2 — файл, который читается в этом запуске, или его карта)"},
    {TextId::kWrittenOverBudget, "written as read: the records waiting for their copies filled the memory kept for them",
     "записана как прочитана: записи, ждущие своих копий, заняли всю отведённую им память"},
    {TextId::kWrittenOnStop, "written as read: the read was stopped", "записана как прочитана: чтение прервано"},
    {TextId::kStoppedBySignal, "lentok-read: stopped; every record read so far is written",
     "lentok-read: остановлено; все прочитанные записи сохранены"},
    {TextId::kReportNotWritten, "lentok-read: the report could not be written; the images are written all the same",
     "lentok-read: отчёт не удалось вывести; образы всё равно записаны"},

    {TextId::kHelp,
     "Usage: lentok-read [OPTION]... RECORDING...\n"
     "  or:  lentok-read --verify [--channel=N] [--monitor=NAME] IMAGE... RECORDING\n"
     "Finds the tape records in each RECORDING and writes each one as a\n"
     "tape image (.rks), named after the record's header. A RECORDING of -\n"
     "is read from standard input. Recordings may be WAV, FLAC, Ogg Vorbis,\n"
     "Ogg Opus, MP3, AIFF/AIFC or W64, known by their content, not their name.\n"
     "\n"
     "  -o, --output-dir=DIR  write the images into DIR (default: the current directory)\n"
     "      --force           replace images that already exist\n"
     "      --channel=N       read channel N only, counting from 1\n"
     "                        (default: every channel, each record from the one\n"
     "                        with the clearest signal, or combined from them)\n"
     "      --json            print the report as one JSON document\n"
     "      --map=FILE.svg    draw where each recording is damaged, as an SVG picture\n"
     "      --keep-unread     write each stretch of signal that no record explains\n"
     "                        as a WAV file of its own, beside the images\n"
     "  -q, --quiet           print nothing but errors\n"
     "      --separate        read each record on its own: no combining of copies\n"
     "                        and no repair from the checksum\n"
     "      --verify          check that RECORDING holds each IMAGE and that at\n"
     "                        least one monitor would load it (a side: matched by\n"
     "                        name and addresses, in any order); writes nothing\n"
     "      --monitor=NAME    with --verify: the monitor that must load it: later,\n"
     "                        earlier, or compatible (the compatible machine's)\n"
     "  -h, --help            show this help and exit\n"
     "      --version         show the version and exit\n"
     "\n"
     "Copies of one program (same name and addresses), on one recording or on\n"
     "several, on one channel or on several, none of them sound, are combined\n"
     "into one image.\n"
     "\n"
     "A record that ends after its data, as the earlier monitors write it, is\n"
     "reported as having no checksum; its image gets the checksum of its data.\n"
     "\n"
     "Exit status: 0 when every record found is sound, went into a combined\n"
     "image, or has no checksum and no bit read doubtfully; 2 when a record is\n"
     "damaged or repaired, none is found, or --verify finds a difference or a\n"
     "record the monitor would not load; 3 when every record is as for 0 but\n"
     "a recording holds signal that no record explains; 1 when the command\n"
     "line is wrong or a file cannot be read or written (a damaged stream\n"
     "included, though the records before the damage are written).\n",
     "Использование: lentok-read [ПАРАМЕТР]... ЗВУКОЗАПИСЬ...\n"
     "         или:  lentok-read --verify [--channel=N] [--monitor=ИМЯ]\n"
     "                           ОБРАЗ... ЗВУКОЗАПИСЬ\n"
     "Находит записи с ленты в каждой ЗВУКОЗАПИСИ и сохраняет каждую как образ\n"
     "ленты (.rks) под именем из её заголовка. Вместо ЗВУКОЗАПИСИ «-» означает\n"
     "стандартный ввод. Звукозаписи читаются в форматах WAV, FLAC, Ogg Vorbis,\n"
     "Ogg Opus, MP3, AIFF/AIFC и W64; формат узнаётся по содержимому, не по имени.\n"
     "\n"
     "  -o, --output-dir=КАТАЛОГ  сохранять образы в КАТАЛОГ (по умолчанию в текущий)\n"
     "      --force               заменять уже существующие образы\n"
     "      --channel=N           читать только канал N, считая с 1\n"
     "                            (по умолчанию все каналы: каждая запись из канала\n"
     "                            с самым чистым сигналом или собранная из них)\n"
     "      --json                выдать отчёт одним документом JSON\n"
     "      --map=ФАЙЛ.svg        нарисовать, где повреждены звукозаписи (картинка SVG)\n"
     "      --keep-unread         сохранять каждый участок сигнала, который не\n"
     "                            объясняет ни одна запись, отдельным файлом WAV\n"
     "  -q, --quiet               не выводить ничего, кроме ошибок\n"
     "      --separate            читать каждую запись саму по себе: не собирать\n"
     "                            копии и не исправлять по контрольной сумме\n"
     "      --verify              проверить, что ЗВУКОЗАПИСЬ содержит каждый ОБРАЗ и\n"
     "                            его загрузит хотя бы один монитор (сторона: по имени\n"
     "                            и адресам, в любом порядке); ничего не сохраняет\n"
     "      --monitor=ИМЯ         с --verify: монитор, который должен его загрузить:\n"
     "                            later (поздний), earlier (ранний) или compatible\n"
     "                            (совместимой машины)\n"
     "  -h, --help                показать эту справку и выйти\n"
     "      --version             показать версию и выйти\n"
     "\n"
     "Копии одной программы (с тем же именем и адресами) в одной звукозаписи\n"
     "или в нескольких, в одном канале или в нескольких, если ни одна не\n"
     "исправна, собираются в один образ.\n"
     "\n"
     "Запись, которая кончается сразу после данных, как её пишут ранние мониторы,\n"
     "считается записью без контрольной суммы; в её образ идёт сумма её данных.\n"
     "\n"
     "Код возврата: 0, если все найденные записи исправны, вошли в собранный\n"
     "образ или не имеют контрольной суммы и сомнительных битов; 2, если есть\n"
     "повреждённая или исправленная по контрольной сумме запись, не найдено ни\n"
     "одной или --verify нашёл расхождение либо запись, которую монитор не\n"
     "загрузит; 3, если с записями всё как для 0, но в звукозаписи есть сигнал,\n"
     "который не объясняет ни одна запись; 1, если командная строка неверна\n"
     "или файл не удаётся прочитать или записать (в том числе повреждённый\n"
     "поток; записи до повреждения при этом сохраняются).\n"},
    {TextId::kVersion, "lentok-read %1\n", "lentok-read %1\n"},
    {TextId::kCommandLineError, "lentok-read: %1 (see --help)", "lentok-read: %1 (см. --help)"},
    {TextId::kUnknownOption, "unknown option '%1'", "неизвестный параметр «%1»"},
    {TextId::kAmbiguousOption, "option '%1' is ambiguous", "параметр «%1» неоднозначен"},
    {TextId::kMissingValue, "option '%1' needs a value", "параметру «%1» нужно значение"},
    {TextId::kUnexpectedValue, "option '%1' takes no value", "параметр «%1» не принимает значения"},
    {TextId::kBadChannel, "the channel is a number from 1 to 8, not '%1'",
     "номер канала должен быть от 1 до 8, а не «%1»"},
    {TextId::kNoRecording, "no recording given", "не указана звукозапись"},
    {TextId::kVerifyOperands, "--verify takes one or more images and one recording",
     "для --verify нужны один или несколько образов и одна звукозапись"},
    {TextId::kStandardInputTwice, "standard input (-) given more than once",
     "стандартный ввод (-) указан больше одного раза"},
    {TextId::kNoSuchDirectory, "lentok-read: %1: no such directory", "lentok-read: %1: нет такого каталога"},
    {TextId::kBadMonitor, "the monitor is later, earlier or compatible, not '%1'",
     "монитор — later, earlier или compatible, а не «%1»"},
    {TextId::kMonitorWithoutVerify, "--monitor goes with --verify only", "--monitor используется только с --verify"},

    {TextId::kStandardInputName, "standard input", "стандартный ввод"},
    {TextId::kFileFailure, "lentok-read: %1: %2", "lentok-read: %1: %2"},
    {TextId::kCannotRead, "cannot read: %1", "не удаётся прочитать: %1"},
    {TextId::kCannotWriteImage, "cannot write the image: %1", "не удаётся записать образ: %1"},
    {TextId::kNotFound, "no such file or directory", "нет такого файла или каталога"},
    {TextId::kAccessDenied, "permission denied", "доступ запрещён"},
    {TextId::kAlreadyExists, "the file exists (--force replaces it)",
     "файл уже существует (--force заменит его)"},
    {TextId::kIsDirectory, "is a directory", "это каталог"},
    {TextId::kNoSpace, "no space left on the device", "на устройстве не осталось места"},
    {TextId::kBadName, "the system does not accept this name", "система не принимает такое имя"},
    {TextId::kInputOutputError, "input/output error", "ошибка ввода-вывода"},
    {TextId::kWavNotRiff, "not a WAV file", "это не файл WAV"},
    {TextId::kWavNotWave, "a RIFF file, but not of form WAVE", "файл RIFF, но не формата WAVE"},
    {TextId::kWavNoFormatChunk, "the WAV file has no format chunk before its sound data",
     "в файле WAV нет блока формата перед звуковыми данными"},
    {TextId::kWavBadFormatChunk, "the format chunk of the WAV file is damaged",
     "блок формата файла WAV повреждён"},
    {TextId::kWavUnsupportedEncoding, "compressed or unknown sound encoding (only PCM and float can be read)",
     "сжатый или неизвестный формат звука (читаются только PCM и float)"},
    {TextId::kWavUnsupportedBits, "this sample width cannot be read", "такую разрядность отсчётов прочитать нельзя"},
    {TextId::kWavUnsupportedChannels, "the WAV file has no channel or more than 8",
     "в файле WAV нет каналов или их больше 8"},
    {TextId::kWavUnsupportedRate, "the sample rate is outside 8000 to 192000 Hz",
     "частота дискретизации вне пределов 8000–192000 Гц"},
    {TextId::kWavNoData, "the file ended before any sound data", "файл закончился раньше звуковых данных"},
    {TextId::kNoSuchChannel, "there is no channel %1 (the recording has %2)",
     "канала %1 нет (в звукозаписи их %2)"},
    {TextId::kUnknownFormat,
     "not a recording in a format lentok-read reads (WAV, FLAC, Ogg Vorbis, Ogg Opus, MP3, AIFF, W64)",
     "это не звукозапись в формате, который читает lentok-read (WAV, FLAC, Ogg Vorbis, Ogg Opus, MP3, AIFF, W64)"},
    {TextId::kStreamCannotDecode, "the %1 recording cannot be decoded: %2",
     "звукозапись %1 не удаётся декодировать: %2"},
    {TextId::kStreamDamaged, "the %1 stream is damaged at %2 (byte %3): %4",
     "поток %1 повреждён на отметке %2 (байт %3): %4"},
    {TextId::kStreamSeeksBack,
     "this %1 file can only be read by going back in it further than its first MiB, which lentok-read does not keep",
     "этот файл %1 можно прочитать, только возвращаясь в нём дальше первого МиБ, а lentok-read его не хранит"},
    {TextId::kStreamUnsupportedChannels, "the recording has no channel or more than 8",
     "в звукозаписи нет каналов или их больше 8"},

    {TextId::kImageTooShort, "not a tape image: shorter than 7 bytes",
     "это не образ ленты: он короче 7 байт"},
    {TextId::kImageTooLong, "not a tape image: longer than 65542 bytes",
     "это не образ ленты: он длиннее 65542 байт"},
    {TextId::kImageSizeMismatch, "not a tape image: its addresses %1 to %2 call for %3 data bytes, it holds %4",
     "это не образ ленты: по адресам %1–%2 в нём должно быть байт данных: %3, а есть %4"},
    {TextId::kVerifyMatch, "%1 holds %2 (the record at %3)", "%1 содержит %2 (запись %3)"},
    {TextId::kVerifyChecksumNote,
     "%1: note: the checksum on tape, %2, matches the data, but the image stores %3",
     "%1: примечание: контрольная сумма на ленте, %2, сходится с данными, но в образе записана %3"},
    {TextId::kVerifyNoRecord, "no record with start %1 and end %2 (%3 records found)",
     "записи с началом %1 и концом %2 нет (найдено записей: %3)"},
    {TextId::kVerifyDiffers, "the record at %1 differs from the image at address %2 (%3): %4 on tape, %5 in the image",
     "запись на отметке %1 расходится с образом по адресу %2 (%3): на ленте %4, в образе %5"},
    {TextId::kVerifyCutShort, "the record at %1 is cut short at address %2 (%3)",
     "запись на отметке %1 оборвана на адресе %2 (%3)"},
    {TextId::kVerifyNoChecksum, "the record at %1 holds the image's data, but ends before its checksum",
     "запись на отметке %1 содержит данные образа, но обрывается до контрольной суммы"},
    {TextId::kVerifyChecksumBad, "the record at %1 holds the image's data, but its checksum on tape, %2, does not match them (%3)",
     "запись на отметке %1 содержит данные образа, но её контрольная сумма на ленте, %2, с ними не сходится (%3)"},
    {TextId::kVerifyWillNotLoad, "the record at %1 holds the image, but %2",
     "запись на отметке %1 содержит образ, но %2"},
    {TextId::kVerifyNotOnMonitor, "the record at %1 holds the image, but not for the monitor asked for: %2",
     "запись на отметке %1 содержит образ, но не для заданного монитора: %2"},
    {TextId::kVerifyFailure, "lentok-read: %1: %2", "lentok-read: %1: %2"},
    {TextId::kVerifyShouldLie, "it should lie between %1 and %2", "она должна лежать между %1 и %2"},
    {TextId::kVerifyFromTheStart, "the start", "началом"},
    {TextId::kVerifyToTheEnd, "the end", "концом"},

    {TextId::kMapHeading, "lentok-read: where the damage is", "lentok-read: где повреждения"},
    {TextId::kMapLevel, "signal level", "уровень сигнала"},
    {TextId::kMapRecords, "records", "записи"},
    {TextId::kMapConfidence, "confidence", "уверенность"},
    {TextId::kMapSpeed, "speed", "скорость"},
    {TextId::kMapTime, "time", "время"},
    {TextId::kMapDoubtful, "doubtful bits", "сомнительные биты"},
    {TextId::kMapDrift, "speed drifts", "скорость плывёт"},
    {TextId::kMapWouldNotLoad, "the machine would not load it here", "здесь машина её не загрузит"},
    {TextId::kMapSupplied, "doubtful bytes this copy supplied", "сомнительные байты из этой копии"},
    {TextId::kMapNoRecords, "no record found", "записей не найдено"},
    {TextId::kMapUnread, "unread signal", "непрочитанный сигнал"},
    {TextId::kMapRecordLabel, "%1, %2 to %3: %4", "%1, с %2 по %3: %4"},
    {TextId::kMapPoint, "%1: address %2h, byte %3h", "%1 — адрес %2h, байт %3h"},
    {TextId::kCannotWriteMap, "cannot write the map: %1", "не удаётся записать карту: %1"},
    {TextId::kMapWithVerify, "--map does not go with --verify", "--map нельзя сочетать с --verify"},
    {TextId::kMapIsRecording, "--map would replace the recording '%1'",
     "--map заменил бы звукозапись «%1»"},
};

static_assert(sizeof kTexts / sizeof kTexts[0] == kTextCount, "one entry per text");

}  // namespace

const char* Text(TextId id, Language language) { return FindText(kTexts, id, language); }

std::string Fill(const char* pattern, std::initializer_list<std::string> values) {
  std::string text;
  for (const char* position = pattern; *position != '\0'; ++position) {
    const char next = position[1];
    if (*position != '%' || next == '\0') {
      text += *position;
    } else if (next == '%') {
      text += '%';
      ++position;
    } else if (next >= '1' && next <= '9') {
      const std::size_t index = static_cast<std::size_t>(next - '1');
      if (index < values.size()) text += values.begin()[index];
      ++position;
    } else {
      text += '%';
    }
  }
  return text;
}

std::string Say(TextId id, Language language, std::initializer_list<std::string> values) {
  return Fill(Text(id, language), values);
}

}  // namespace reader_tool
