#include "parallel/bucket_sort/bucket_sort.hpp"

#include "parallel/bucket_sort/classifier.hpp"
#include "parallel/bucket_sort/distribute.hpp"
#include "parallel/bucket_sort/finish.hpp"

namespace tarvo::bucket_sort {

bool sort_through_buffer(Slice s, Slice buffer, unsigned depth) {
    const Classifier classify = Classifier::from_sample(s);
    if (classify.splits_nothing()) return false;
    const BucketStarts starts = distribute(s, buffer.first(s.size()), classify);
    finish(s, buffer, starts, classify, depth);
    return true;
}

}  // namespace tarvo::bucket_sort
