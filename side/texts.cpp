// The table of lentok-side's texts: each line in English and in Russian,
// side by side, in the order of SideText.
#include "side/texts.h"

#include "reader_tool/texts.h"

namespace side {

namespace {

constexpr reader_tool::TextEntry<SideText> kTexts[] = {
    {SideText::kContentsNumber, "#", "№"},
    {SideText::kContentsStart, "start", "начало"},
    {SideText::kContentsLength, "length", "длина"},
    {SideText::kContentsName, "name to type", "имя для набора"},
    {SideText::kContentsEntry, "%1 (%2)", "%1 (%2)"},
    {SideText::kContentsNoName, "no name", "без имени"},
    {SideText::kContentsTotal, "side: %1; programs: %2", "сторона: %1; программ: %2"},

    {SideText::kWarning, "lentok-side: warning: %1", "lentok-side: предупреждение: %1"},
    {SideText::kWarnLongerThanCassette, "the side lasts %1, longer than a %2-minute cassette side",
     "сторона длится %1, дольше %2-минутной стороны кассеты"},
    {SideText::kWarnNameNotTypeable,
     "%1 goes on tape as \"%2\", which is not plain printable ASCII: the machine's keyboard cannot type it",
     "%1 записывается на ленту под именем «%2», а в нём есть знаки вне печатного ASCII: "
     "с клавиатуры машины его не набрать"},
    {SideText::kWarnNoNames,
     "with -x the programs carry no name: the earlier monitors' plain read takes whichever program comes "
     "next, so the positions in the table of contents are the only way to find one",
     "с -x у программ нет имён: обычное чтение ранних мониторов берёт ту программу, что идёт следующей, "
     "так что найти нужную можно только по её месту в оглавлении"},

    {SideText::kHelp,
     "Usage: lentok-side [OPTION]... -o SIDE.wav|SIDE.flac IMAGE...\n"
     "Writes the tape images (.rks) one after another, in the order given, into\n"
     "one recording: a cassette side to record onto a tape or play into the\n"
     "machine, with silence between the programs. Each program is the signal\n"
     "lentok writes for its image; the later monitor finds it on the side by\n"
     "the name in its header, the image's file name with a to z in capitals.\n"
     "\n"
     "  -o, --output=SIDE         the side: SIDE.wav (PCM, 16-bit, mono, 44100 Hz)\n"
     "                            or SIDE.flac, told by the extension\n"
     "  -k, --compute-checksum    put on tape the checksum computed from the data\n"
     "                            instead of the one stored in the image\n"
     "  -x, --no-header           leave out the name headers (the earlier monitors'\n"
     "                            plain read takes whichever program comes next)\n"
     "      --gap=SECONDS         silence between programs (default 2; 0 for none)\n"
     "      --labels=FILE.txt     also write a label track for an audio editor:\n"
     "                            start, end and name of each program, tab-separated\n"
     "      --json                print the table of contents as one JSON document\n"
     "      --length=30m|45m|60m  the cassette side it is for (default 45m);\n"
     "                            a longer side is warned about\n"
     "  -h, --help                show this help and exit\n"
     "      --version             show the version and exit\n"
     "\n"
     "Prints a table of contents: where each program starts on the side, how long\n"
     "it lasts, and the name to type on the machine.\n"
     "\n"
     "Exit status: 0 when the side is written; 1 when the command line is wrong,\n"
     "an image cannot be read or lentok would refuse it, two images go on tape\n"
     "under one name, or the side cannot be written; nothing is then left behind.\n",
     "Использование: lentok-side [ПАРАМЕТР]... -o СТОРОНА.wav|СТОРОНА.flac ОБРАЗ...\n"
     "Записывает образы ленты (.rks) друг за другом, в данном порядке, в одну\n"
     "звукозапись: сторону кассеты, чтобы переписать её на ленту или проиграть в\n"
     "машину, с тишиной между программами. Каждая программа записывается тем же\n"
     "сигналом, что пишет lentok для её образа; поздний монитор находит её на\n"
     "стороне по имени в заголовке: имени файла образа, где a–z заглавные.\n"
     "\n"
     "  -o, --output=СТОРОНА      сторона: СТОРОНА.wav (PCM, 16 бит, моно, 44100 Гц)\n"
     "                            или СТОРОНА.flac, по расширению имени\n"
     "  -k, --compute-checksum    записывать на ленту контрольную сумму, вычисленную\n"
     "                            по данным, а не хранящуюся в образе\n"
     "  -x, --no-header           не записывать заголовки с именами (обычное чтение\n"
     "                            ранних мониторов берёт следующую программу)\n"
     "      --gap=СЕКУНДЫ         тишина между программами (по умолчанию 2; 0 — нет)\n"
     "      --labels=ФАЙЛ.txt     записать ещё дорожку меток для звукового редактора:\n"
     "                            начало, конец и имя каждой программы через табуляцию\n"
     "      --json                выдать оглавление одним документом JSON\n"
     "      --length=30m|45m|60m  сторона кассеты, для которой она (по умолчанию 45m);\n"
     "                            о более длинной стороне будет предупреждение\n"
     "  -h, --help                показать эту справку и выйти\n"
     "      --version             показать версию и выйти\n"
     "\n"
     "Выводит оглавление: где на стороне начинается каждая программа, сколько она\n"
     "длится и какое имя набрать на машине.\n"
     "\n"
     "Код возврата: 0, если сторона записана; 1, если командная строка неверна,\n"
     "образ не удаётся прочитать или lentok его не примет, два образа попадают на\n"
     "ленту под одним именем или сторону не удаётся записать; тогда не остаётся\n"
     "ничего.\n"},
    {SideText::kVersion, "lentok-side %1\n", "lentok-side %1\n"},
    {SideText::kCommandLineError, "lentok-side: %1 (see --help)", "lentok-side: %1 (см. --help)"},
    {SideText::kUnknownOption, "unknown option '%1'", "неизвестный параметр «%1»"},
    {SideText::kAmbiguousOption, "option '%1' is ambiguous", "параметр «%1» неоднозначен"},
    {SideText::kMissingValue, "option '%1' needs a value", "параметру «%1» нужно значение"},
    {SideText::kUnexpectedValue, "option '%1' takes no value", "параметр «%1» не принимает значения"},
    {SideText::kNoOutput, "no side given: -o SIDE.wav or -o SIDE.flac",
     "не указана сторона: -o СТОРОНА.wav или -o СТОРОНА.flac"},
    {SideText::kNoImages, "no image given", "не указан ни один образ"},
    {SideText::kOutputFormat, "the side's name ends in neither .wav nor .flac: '%1'",
     "имя стороны кончается не на .wav и не на .flac: «%1»"},
    {SideText::kBadGap, "the gap is a number of seconds up to %1, such as 2 or 0.5, not '%2'",
     "пауза — это число секунд не больше %1, например 2 или 0.5, а не «%2»"},
    {SideText::kGapTooShort,
     "a gap of %1 s is shorter than the shortest, %2 s: a gap below none would cut into the program "
     "before, and the monitor's named read finds the next program with no gap at all",
     "пауза %1 с короче самой короткой, %2 с: пауза меньше нуля врезалась бы в предыдущую программу, "
     "а чтение монитора по имени находит следующую программу и совсем без паузы"},
    {SideText::kBadLength, "the cassette side lasts 30m, 45m or 60m, not '%1'",
     "сторона кассеты длится 30m, 45m или 60m, а не «%1»"},
    {SideText::kStandardInputImage,
     "an image is read from a file, whose name goes on tape: '-' (standard input) has none",
     "образ читается из файла, имя которого идёт на ленту, а у «-» (стандартного ввода) имени нет"},

    {SideText::kRefusal, "lentok-side: %1", "lentok-side: %1"},
    {SideText::kImageTooShort, "%1: lentok refuses this image: shorter than 7 bytes, it holds no data byte",
     "%1: lentok не примет этот образ: он короче 7 байт, в нём нет ни байта данных"},
    {SideText::kImageTooLong, "%1: lentok refuses this image: larger than 65552 bytes",
     "%1: lentok не примет этот образ: он больше 65552 байт"},
    {SideText::kSameName, "%1 and %2 both go on tape as \"%3\": the monitor would always find the first",
     "%1 и %2 оба записываются на ленту под именем «%3»: монитор всегда находил бы первый"},
    {SideText::kOutputIsImage, "the side %1 is the image %2: writing it would destroy the image",
     "сторона %1 — это образ %2: её запись уничтожила бы образ"},
    {SideText::kLabelsIsImage, "--labels %1 is the image %2: writing it would destroy the image",
     "--labels %1 — это образ %2: запись меток уничтожила бы образ"},
    {SideText::kLabelsIsOutput, "--labels %1 is the side itself", "--labels %1 — это сама сторона"},
    {SideText::kTooLongForWav, "the side lasts %1, longer than a WAV file holds (%2): write it as FLAC",
     "сторона длится %1, дольше, чем вмещает файл WAV (%2): запишите её во FLAC"},
    {SideText::kNoFlac, "cannot write FLAC: %1", "не удаётся записать FLAC: %1"},
    {SideText::kNoFlacInBuild, "this build of lentok-side writes WAV only: it has no FLAC encoder",
     "эта сборка lentok-side пишет только WAV: кодировщика FLAC в ней нет"},

    {SideText::kFileFailure, "lentok-side: %1: %2", "lentok-side: %1: %2"},
    {SideText::kCannotRead, "cannot read: %1", "не удаётся прочитать: %1"},
    {SideText::kCannotWrite, "cannot write: %1", "не удаётся записать: %1"},
    {SideText::kEncoderFailed, "the FLAC encoder failed: %1", "кодировщик FLAC дал сбой: %1"},
    {SideText::kStopped, "lentok-side: stopped; nothing was written", "lentok-side: остановлено; ничего не записано"},
    {SideText::kReportNotWritten,
     "lentok-side: the table of contents could not be written; the side is written all the same",
     "lentok-side: оглавление не удалось вывести; сторона всё равно записана"},
};

static_assert(sizeof kTexts / sizeof kTexts[0] == kSideTextCount, "one entry per text");

}  // namespace

const char* Text(SideText id, Language language) { return reader_tool::FindText(kTexts, id, language); }

std::string Say(SideText id, Language language, std::initializer_list<std::string> values) {
  return reader_tool::Fill(Text(id, language), values);
}

}  // namespace side
