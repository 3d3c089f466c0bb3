// Saves tiles into a cache folder without end, until it is killed: every save appends to
// the journal, every second durable point or so starts a fold of the journal into the index
// in the background, and about every 150th save compacts the cache. The crash test kills it
// at random moments and checks what survives.
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include "CacheTestSupport.h"
#include "client/maps/CacheManager.h"
#include "kestra/Exceptions.h"
#include "kestra/TextCodec.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: maps_cache_writer <folder> <seed>\n";
        return 2;
    }
    const std::wstring folder = kestra::utf8ToWide(argv[1]);
    std::mt19937 random(static_cast<unsigned int>(std::strtoul(argv[2], nullptr, 10)));
    CacheManager::setJournalLimit(40);
    try {
        CacheManager::setCachePlace(folder, folder);
    } catch (const kestra::BasicException&) {
        std::cerr << "the cache does not open\n";
        return 3;
    }
    const wchar_t* const loaders[] = {L"google", L"microsoft", L"openStreet"};
    for (long i = 1; i < 10000000; ++i) {
        const std::wstring loader = loaders[random() % 3];
        const std::wstring name = L"b" + std::to_wstring(random() % 300);
        const std::wstring version = std::to_wstring(random() % 5);
        const std::size_t size = 100 + random() % 30000;
        CacheManager::saveCacheItem(loader, cachetest::block(name), version, L"png",
                                    cachetest::imageFor(name, version, size));
        if (random() % 150 == 0) {
            CacheManager::cleanup(1);
        }
    }
    CacheManager::shutdown();
    return 0;
}
