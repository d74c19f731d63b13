# Radicale's own file storage, for the sync benchmark's server (storage type
# "bench_radicale_storage", this folder on PYTHONPATH), with two costs taken out that would
# otherwise make a run of thousands of events take hours:
# - Before storing a new event, the stock storage compares its UID with every stored event,
#   reading each event's file and cache entry, so a PUT costs more the fuller the calendar is
#   and n PUTs cost O(n^2). Here the UIDs of a calendar are kept in memory: read once from the
#   stored events, then kept current by this server's own uploads and deletes, so the answer
#   is the same.
# - After every upload the stock storage also scans its cache and history folders for entries of
#   events deleted long ago; nothing here lives long enough for that to matter.
# - No fsync: the storage is a temporary folder, removed after the run.
# Floor and Kalendo talk to the same server, so the comparison stays fair.

import collections

from radicale.storage import multifilesystem

# Calendar folder -> (href -> UID, UID -> number of events holding it).
_uids = {}


class Collection(multifilesystem.Collection):

    def _uid_index(self):
        index = _uids.get(self._filesystem_path)
        if index is None:
            by_href = {item.href: item.uid for item in self.get_all()}
            index = (by_href, collections.Counter(by_href.values()))
            _uids[self._filesystem_path] = index
        return index

    def _forget(self, href):
        by_href, counts = self._uid_index()
        uid = by_href.pop(href, None)
        if uid is not None:
            counts[uid] -= 1
            if counts[uid] <= 0:
                del counts[uid]

    def has_uid(self, uid):
        return self._uid_index()[1][uid] > 0

    def upload(self, href, item):
        self._forget(href)
        uploaded = super().upload(href, item)
        by_href, counts = self._uid_index()
        if href not in by_href:
            by_href[href] = uploaded.uid
            counts[uploaded.uid] += 1
        return uploaded

    def _clean_item_cache(self):
        pass

    def _clean_history(self):
        pass

    def delete(self, href=None):
        super().delete(href)
        if href is None:
            _uids.clear()
        else:
            self._forget(href)


class Storage(multifilesystem.Storage):

    _collection_class = Collection

    def __init__(self, configuration):
        super().__init__(configuration)
        self._filesystem_fsync = False

    # Whole calendars made or moved: read their UIDs again.
    def create_collection(self, href, items=None, props=None):
        _uids.clear()
        return super().create_collection(href, items, props)

    def move(self, item, to_collection, to_href):
        _uids.clear()
        super().move(item, to_collection, to_href)
