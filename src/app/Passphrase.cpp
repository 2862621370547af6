#include "app/Passphrase.h"

#include <QRandomGenerator>
#include <QStringList>
#include <array>
#include <iterator>

namespace Passphrase {
namespace {

constexpr std::array wordList = {
    "acorn",    "amber",   "anchor",  "apple",   "arrow",   "aspen",   "autumn",   "badger",
    "bamboo",   "banjo",   "barley",  "basil",   "beacon",  "berry",   "birch",    "bison",
    "blossom",  "bramble", "breeze",  "brook",   "bubble",  "cactus",  "camel",    "candle",
    "canyon",   "cargo",   "castle",  "cedar",   "cello",   "cherry",  "chestnut", "cider",
    "cinder",   "clover",  "cobalt",  "comet",   "copper",  "coral",   "cotton",   "crane",
    "cricket",  "crystal", "cypress", "daisy",   "dawn",    "delta",   "desert",   "dolphin",
    "dove",     "dragon",  "drum",    "dune",    "eagle",   "ember",   "falcon",   "fern",
    "fiddle",   "finch",   "fjord",   "flint",   "forest",  "fox",     "galaxy",   "garden",
    "garnet",   "gecko",   "ginger",  "glacier", "goose",   "granite", "grove",    "harbor",
    "harp",     "hazel",   "heron",   "hickory", "honey",   "horizon", "iris",     "island",
    "ivory",    "jade",    "jasmine", "jelly",   "juniper", "kayak",   "kettle",   "kiwi",
    "koala",    "lagoon",  "lantern", "lark",    "lemon",   "lily",    "lotus",    "lunar",
    "magpie",   "mango",   "maple",   "marble",  "meadow",  "melon",   "meteor",   "mint",
    "mirror",   "moose",   "moss",    "nectar",  "nutmeg",  "oak",     "oasis",    "ocean",
    "olive",    "onyx",    "orbit",   "orchid",  "otter",   "owl",     "paddle",   "panda",
    "papaya",   "parrot",  "pearl",   "pebble",  "pepper",  "pine",    "planet",   "plum",
    "pony",     "poppy",   "prairie", "puffin",  "quartz",  "quill",   "rabbit",   "raven",
    "reef",     "ribbon",  "river",   "robin",   "rocket",  "saffron", "sage",     "salmon",
    "sapphire", "scarlet", "shell",   "sierra",  "silver",  "sparrow", "spruce",   "squirrel",
    "star",     "stone",   "summit",  "sunset",  "swan",    "tango",   "thistle",  "thunder",
    "tiger",    "timber",  "topaz",   "tulip",   "tundra",  "turtle",  "valley",   "velvet",
    "violet",   "walnut",  "walrus",  "willow",  "wren",    "yarrow",  "zebra",    "zephyr",
};

} // namespace

QString generate() {
    QStringList chosen;
    for (int i = 0; i < words; ++i) {
        const auto index =
            QRandomGenerator::system()->bounded(static_cast<quint32>(wordList.size()));
        chosen.append(QString::fromLatin1(wordList[index]));
    }
    return chosen.join(QLatin1Char('-'));
}

} // namespace Passphrase
